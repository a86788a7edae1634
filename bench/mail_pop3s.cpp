// POP3 over TLS (POP3S, port 995 style) download-and-delete throughput
// against the TLS Dovecot of scripts/tls_peers.sh, compared in the same run
// with Python's poplib.POP3_SSL doing the same commands (USER, PASS, STAT,
// RETR each, DELE each, QUIT), both verifying the server's certificate
// against the test CA.
//
//   eval "$(scripts/tls_peers.sh start)"
//   build/bench/bench_mail_pop3s [messages]     (default 10000, ~3 KB each)
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

class NoPauseClock : public Clock {
 public:
  std::time_t now() override { return std::time(nullptr); }
  int64_t monotonicMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void sleepMs(int64_t) override {}
};

void fillMailbox(const std::string& maildir, int count) {
  static int fill = 0;
  ++fill;
  int uid = std::atoi(env("ORV_TLS_MAILDIR_UID").c_str());
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

double runOurs(int expected) {
  NoPauseClock clock;
  setClock(&clock);
  auto start = std::chrono::steady_clock::now();
  POP3Manager pop;
  pop.setSecurity(TransportSecurity::Tls);
  pop.setTlsOptions(env("ORV_TLS_CA"), "");
  pop.setAllowPlaintextPassword(false);
  bool ok = pop.connect(env("ORV_TLS_HOST"), static_cast<uint16_t>(std::atoi(env("ORV_TLS_POP3S_PORT").c_str()))) == 0 &&
            pop.login(env("ORV_TLS_POP3_USER"), env("ORV_TLS_POP3_PASSWORD")) == 0 && pop.retrieveAll() == 0 &&
            pop.deleteAll() == 0 && pop.logout() == 0;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  setClock(nullptr);
  if (!ok || pop.cachedCount() != static_cast<size_t>(expected)) {
    std::fprintf(stderr, "POP3Manager failed: %s (%zu cached)\n", pop.describe().c_str(), pop.cachedCount());
    std::exit(1);
  }
  return seconds;
}

double runPoplib(int expected) {
  const char* script =
      "import poplib, os, ssl, time\n"
      "t = time.monotonic()\n"
      "ctx = ssl.create_default_context(cafile=os.environ['ORV_TLS_CA'])\n"
      "p = poplib.POP3_SSL(os.environ['ORV_TLS_HOST'], int(os.environ['ORV_TLS_POP3S_PORT']), context=ctx)\n"
      "p.user(os.environ['ORV_TLS_POP3_USER']); p.pass_(os.environ['ORV_TLS_POP3_PASSWORD'])\n"
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
  if (env("ORV_TLS_POP3S_PORT").empty()) {
    std::fprintf(stderr, "start the TLS peers first: eval \"$(scripts/tls_peers.sh start)\"\n");
    return 2;
  }
  int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  std::string maildir = env("ORV_TLS_MAILDIR");

  fillMailbox(maildir, count);
  double ours = runOurs(count);
  fillMailbox(maildir, count);
  double theirs = runPoplib(count);

  std::printf("POP3S download+delete of %d messages (~3 KB) from the local Dovecot over TLS\n", count);
  std::printf("  POP3Manager          %8.3f s  %9.0f messages/s\n", ours, count / ours);
  std::printf("  Python POP3_SSL      %8.3f s  %9.0f messages/s\n", theirs, count / theirs);
  std::printf("  ratio                %8.2fx\n", theirs / ours);
  return 0;
}
