// POP3 download-and-delete throughput against the local Dovecot, compared in
// the same run with Python's poplib doing the same commands (USER, PASS,
// STAT, RETR each, DELE each, QUIT). With --tls both speak POP3S (port 995
// style) to the TLS Dovecot of scripts/tls_peers.sh (poplib.POP3_SSL), and
// both verify the server's certificate against the test CA.
//
//   eval "$(scripts/peers.sh start)"
//   build/bench/bench_mail_pop3 [messages]         (default 10000, ~3 KB each)
//   scripts/peers.sh stop
//
//   eval "$(scripts/tls_peers.sh start)"
//   build/bench/bench_mail_pop3 --tls [messages]
//   scripts/tls_peers.sh stop
//
// Each client gets a freshly filled mailbox. The 1 s pause of our close is
// not counted (the clock used here skips pauses); everything else is: the
// connect, the TLS handshake, login, every LIST/RETR/DELE and QUIT.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mail/pop3_manager.h"
#include "platform/clock.h"

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Where the peers' start scripts put each server's particulars.
struct Peer {
  bool tls;
  const char *host, *port, *user, *password, *maildir, *maildirUid;
  const char* startHint;
};

constexpr Peer kPlain{false,           "ORV_POP3_HOST",  "ORV_POP3_PORT",       "ORV_POP3_USER",
                      "ORV_POP3_PASSWORD", "ORV_MAILDIR", "ORV_MAILDIR_UID",     "scripts/peers.sh"};
constexpr Peer kTls{true,                   "ORV_TLS_HOST",    "ORV_TLS_POP3S_PORT",  "ORV_TLS_POP3_USER",
                    "ORV_TLS_POP3_PASSWORD", "ORV_TLS_MAILDIR", "ORV_TLS_MAILDIR_UID", "scripts/tls_peers.sh"};

// The system clock, except that pauses are skipped.
class NoPauseClock : public Clock {
 public:
  std::time_t now() override { return std::time(nullptr); }
  int64_t monotonicMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void sleepMs(int64_t) override {}
};

void fillMailbox(const Peer& peer, int count) {
  static int fill = 0;  // maildir names must never repeat
  ++fill;
  std::string maildir = env(peer.maildir);
  int uid = std::atoi(env(peer.maildirUid).c_str());
  std::string body;
  for (int line = 0; body.size() < 2800; ++line)
    body += "Line " + std::to_string(line) + " of a maintenance request body, with some ordinary text.\r\n";
  for (int i = 0; i < count; ++i) {
    std::string name = std::to_string(::getpid()) + "." + std::to_string(fill) + "." + std::to_string(i) + ".bench";
    std::string tmp = maildir + "/tmp/" + name;
    {
      std::ofstream out(tmp, std::ios::binary);
      out << "From: Requestor " << i << " <r" << i << "@example.com>\r\nTo: gateway@example.com\r\nSubject: Request "
          << i << "\r\nMessage-ID: <" << i << "@bench>\r\n\r\n[1] request;;\r\n"
          << body;
    }
    if (::chown(tmp.c_str(), uid, uid) != 0) {
    }
    std::filesystem::rename(tmp, maildir + "/new/" + name);
  }
}

double runOurs(const Peer& peer, int expected) {
  NoPauseClock clock;
  setClock(&clock);
  auto start = std::chrono::steady_clock::now();
  POP3Manager pop;
  if (peer.tls) {
    pop.setSecurity(TransportSecurity::Tls);
    pop.setTlsOptions(env("ORV_TLS_CA"), "");
    pop.setAllowPlaintextPassword(false);
  }
  bool ok = pop.connect(env(peer.host), static_cast<uint16_t>(std::atoi(env(peer.port).c_str()))) == 0 &&
            pop.login(env(peer.user), env(peer.password)) == 0 && pop.retrieveAll() == 0 &&
            pop.deleteAll() == 0 && pop.logout() == 0;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  setClock(nullptr);
  if (!ok || pop.cachedCount() != static_cast<size_t>(expected)) {
    std::fprintf(stderr, "POP3Manager failed: %s (%zu cached)\n", pop.describe().c_str(), pop.cachedCount());
    std::exit(1);
  }
  return seconds;
}

double runPoplib(const Peer& peer, int expected) {
  std::string host = std::string("os.environ['") + peer.host + "'], int(os.environ['" + peer.port + "'])";
  std::string open = peer.tls ? "ctx = ssl.create_default_context(cafile=os.environ['ORV_TLS_CA'])\n"
                                "p = poplib.POP3_SSL(" + host + ", context=ctx)\n"
                              : "p = poplib.POP3(" + host + ")\n";
  std::string script =
      "import poplib, os, ssl, time\n"
      "t = time.monotonic()\n" + open +
      "p.user(os.environ['" + peer.user + "']); p.pass_(os.environ['" + peer.password + "'])\n"
      "n, size = p.stat()\n"
      "msgs = [p.retr(i)[1] for i in range(1, n + 1)]\n"
      "for i in range(1, n + 1): p.dele(i)\n"
      "p.quit()\n"
      "print(n, time.monotonic() - t)\n";
  std::string command = std::string("/usr/bin/python3 -c \"") + script + "\"";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) std::exit(1);
  int n = 0;
  double seconds = 0;
  if (std::fscanf(pipe, "%d %lf", &n, &seconds) != 2 || n != expected) {
    std::fprintf(stderr, "poplib client failed (%d messages)\n", n);
    std::exit(1);
  }
  ::pclose(pipe);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  bool tls = argc > 1 && std::string(argv[1]) == "--tls";
  const Peer& peer = tls ? kTls : kPlain;
  if (env(peer.port).empty()) {
    std::fprintf(stderr, "start the peers first: eval \"$(%s start)\"\n", peer.startHint);
    return 2;
  }
  int count = argc > 1 + tls ? std::atoi(argv[1 + tls]) : 10000;

  fillMailbox(peer, count);
  double ours = runOurs(peer, count);
  fillMailbox(peer, count);
  double theirs = runPoplib(peer, count);

  std::printf("%s download+delete of %d messages (~3 KB) from the local Dovecot\n", tls ? "POP3S" : "POP3", count);
  std::printf("  POP3Manager          %8.3f s  %9.0f messages/s\n", ours, count / ours);
  std::printf("  Python %-13s %8.3f s  %9.0f messages/s\n", tls ? "POP3_SSL" : "poplib", theirs, count / theirs);
  std::printf("  ratio                %8.2fx\n", theirs / ours);
  return 0;
}
