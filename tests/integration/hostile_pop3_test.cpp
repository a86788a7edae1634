// orvserv /Run:retrieve against the hostile POP3 server of
// tests/data/hostile/pop3.py (Debian's python3): message text that imitates
// a terminator, a mailbox of endless big messages, a 300 MB message, a
// message that trickles or hangs, and SIGTERM during a download.
//
// Peak memory is the process's VmHWM (/proc/PID/status), polled every 20 ms
// while it runs; it only grows, so a late poll sees an earlier peak. (Not
// ru_maxrss: a spawned child inherits into it the peak of the parent's
// memory from before its exec.)
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "cycle_world.h"
#include "platform/blackhole.h"

namespace cycletest {
namespace {

const std::string kHostileData = std::string(ORV_TEST_DATA) + "/hostile";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int freePort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(s);
  return port;
}

// pop3.py PORT MODE LOG FILES..., started in its own process and killed by
// its pid at the end.
class HostileServer {
 public:
  HostileServer(const std::string& dir, const std::string& mode, const std::vector<std::string>& files,
                const std::vector<std::string>& env = {})
      : log_(dir + "/pop3-" + mode + ".log"), port_(freePort()) {
    pid_ = fork();
    if (pid_ == 0) {
      int null = open("/dev/null", O_RDWR);
      for (int fd : {0, 1, 2}) dup2(null, fd);
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      std::vector<std::string> args = {"/usr/bin/python3", kHostileData + "/pop3.py", std::to_string(port_), mode, log_};
      for (const std::string& f : files) args.push_back(kHostileData + "/" + f);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (log().find("listening") == std::string::npos && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~HostileServer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }
  std::string log() const { return readFile(log_); }
  bool listening() const { return log().find("listening") != std::string::npos; }

 private:
  std::string log_;
  int port_;
  pid_t pid_ = -1;
};

struct RunResult {
  int status = -1;     // exit status, -1 when it did not exit normally
  bool ended = false;  // within the time given
  long peakKb = 0;     // VmHWM
  std::string output;
};

long vmHwmKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// orvserv /Run:run on tarnwick; during(pid) is called every 20 ms while it
// runs (it may signal it); gives up (SIGKILL) after limit.
RunResult runOrvserv(const std::string& tarnwick, const std::string& run, std::chrono::seconds limit,
                     const std::function<void(pid_t)>& during = {}) {
  RunResult result;
  std::string outPath = tarnwick + "/../orvserv-" + run + ".out";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> args = {binary("orvserv"), "/TarnwickDatabase:" + tarnwick, "/Run:" + run, "/Listen:off",
                                   "/AssumeYes+"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Under AddressSanitizer freed blocks wait in a quarantine of 256 MB
  // before they are reused, which a run of large messages fills; a small
  // one keeps the peak about the program's own memory.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0) env.emplace_back(*e);
  const char* asan = std::getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                "quarantine_size_mb=8:thread_local_quarantine_size_kb=256");
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  auto giveUp = std::chrono::steady_clock::now() + limit;
  int st = 0;
  for (;;) {
    result.peakKb = std::max(result.peakKb, vmHwmKb(pid));
    pid_t done = waitpid(pid, &st, WNOHANG);
    if (done == pid) {
      result.ended = true;
      break;
    }
    if (std::chrono::steady_clock::now() > giveUp) {
      kill(pid, SIGKILL);
      waitpid(pid, &st, 0);
      break;
    }
    if (during) during(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  result.output = readFile(outPath);
  return result;
}

class HostilePop3 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(binary("orvserv"))) GTEST_SKIP() << "orvserv not built";
    if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "python3 missing";
    char templ[] = "/tmp/orvhostile.XXXXXX";
    root = mkdtemp(templ);
    tarnwick = root + "/tarnwick";
    int status = 0;
    std::string out = runProgram(binary("tarnwick-sim") + " create " + tarnwick, &status);
    ASSERT_EQ(status, 0) << out;
    out = runProgram(binary("orvserv") + " /TarnwickDatabase:" + tarnwick +
                         " /Run:update /Listen:off /AssumeYes+ < /dev/null",
                     &status);
    ASSERT_EQ(status, 0) << out;
  }
  void TearDown() override {
    std::error_code ec;
    if (!root.empty()) fs::remove_all(root, ec);
  }

  void configure(const HostileServer& server, const std::map<int, std::string>& extra = {}) {
    ASSERT_TRUE(server.listening()) << server.log();
    configure(server.port(), extra);
  }
  void configure(int port, const std::map<int, std::string>& extra = {}) {
    std::map<int, std::string> lines = {{kPop3Server, "127.0.0.1"},
                                        {kPop3Account, "gateway"},
                                        {kPop3Password, scramble("orv-secret").str()},
                                        {kPop3Port, std::to_string(port)},
                                        {kReturnAddress, "gateway@example.org"}};
    for (const auto& [n, v] : extra) lines[n] = v;
    std::string cfg;
    for (const auto& [n, v] : lines) cfg += "[" + std::to_string(n) + "] " + v + "\r\n";
    std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary | std::ios::trunc) << cfg;
  }

  struct Row {
    long status;
    std::string subject;
    std::string history;
    size_t size;       // of the raw text
    std::string text;  // the raw text, when under 1 MB
  };
  std::vector<Row> rows() {
    GatewayDatabase gateway(stringT(tarnwick + "/@Orvane"), &guiSession());
    LogsManager logs(gateway);
    EXPECT_EQ(logs.Load(), 0);
    std::vector<Row> out;
    std::vector<long> keys;
    for (int s = 0; s < kLogStatusCount; ++s)
      for (long key : logs.KeysInStatus(s)) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    for (long key : keys)
      if (auto r = logs.GetRecord(key))
        out.push_back({r->status(), r->message().header("subject").str(), r->get(kLrHistory).str(),
                       r->message().rawText().size(),
                       r->message().rawText().size() < (1u << 20) ? r->message().rawText().str() : std::string()});
    EXPECT_EQ(logs.Load(), 0);  // drops the cached records: big messages need not stay in memory
    return out;
  }

  std::string diagnosticFile() { return readFile(tarnwick + "/@Orvane/diagnostic.txt"); }

  std::string root, tarnwick;
};

TEST_F(HostilePop3, BareLfDoesNotEndAMessage) {
  HostileServer server(root, "normal", {"inj1.eml", "real2.eml"});
  configure(server);
  RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(60));
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.status, 0) << run.output;
  std::vector<Row> stored = rows();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].text, readFile(kHostileData + "/inj1.eml"));  // whole, the forged part as data
  EXPECT_EQ(stored[0].subject, "first");
  EXPECT_EQ(stored[1].text, readFile(kHostileData + "/real2.eml"));
  for (const Row& r : stored) EXPECT_NE(r.subject, "injected message");
  EXPECT_NE(server.log().find("QUIT; deleted [1, 2]"), std::string::npos) << server.log();
}

TEST_F(HostilePop3, RetrievalMemoryIsBoundedByTheLargestMessage) {
  // STAT announces 2,000,000,000 messages of 8 MB each: the run takes in
  // what it can before its deadline, one message at a time.
  HostileServer server(root, "hugecount", {}, {"HUGESIZE=8000000", "QUIET=1"});
  configure(server, {{kMaxMessageSize, "10000000"}, {kRunDeadline, "10"}});
  RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(120));
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.status, 1) << run.output;  // the deadline is reported
  EXPECT_NE(diagnosticFile().find("stopped at its deadline of 10 seconds"), std::string::npos) << diagnosticFile();

  // Every message deleted on the server has its row, whole, and no other.
  std::string log = server.log();
  size_t quit = log.find("QUIT; deleted [");
  ASSERT_NE(quit, std::string::npos) << log;
  std::string deleted = log.substr(quit + 15, log.find(']', quit) - quit - 15);
  std::vector<Row> stored = rows();
  ASSERT_GE(stored.size(), 2u);
  std::string expected;
  for (size_t i = 0; i < stored.size(); ++i) {
    expected += (i ? ", " : "") + std::to_string(i + 1);
    EXPECT_EQ(stored[i].subject, "many " + std::to_string(i + 1));
    EXPECT_EQ(stored[i].status, kLogPendingProcessing);
    size_t header = std::string("From: \"Many \" <many@example.org>\r\nSubject: many \r\n\r\n").size() +
                    3 * std::to_string(i + 1).size();
    EXPECT_EQ(stored[i].size, header + 8000000u + 2);
  }
  EXPECT_EQ(deleted, expected);
  RecordProperty("messages stored", static_cast<int>(stored.size()));
  RecordProperty("peak kB", static_cast<int>(run.peakKb));
  // Bounded by a few times the largest message, whatever the mailbox.
  EXPECT_LT(run.peakKb, 150 * 1024) << stored.size() << " messages stored";
}

TEST_F(HostilePop3, OversizedMessageIsRejectedAndTheNextComesIn) {
  // Message 1 is 300 MB (served in place of the first file); the default
  // limit is 25 MB.
  HostileServer server(root, "bigfirst", {"inj1.eml", "real2.eml"});
  configure(server);
  RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(300));
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.status, 0) << run.output;
  std::vector<Row> stored = rows();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].status, kLogRejected);
  EXPECT_EQ(stored[0].subject, "big");
  EXPECT_EQ(stored[0].size, 26214400u);
  EXPECT_NE(stored[0].history.find("Message cut: it exceeded the size limit of 26214400 bytes"), std::string::npos)
      << stored[0].history;
  EXPECT_EQ(stored[1].subject, "real second message");
  EXPECT_EQ(stored[1].status, kLogPendingProcessing);
  EXPECT_NE(server.log().find("QUIT; deleted [1, 2]"), std::string::npos) << server.log();
  RecordProperty("peak kB", static_cast<int>(run.peakKb));
  EXPECT_LT(run.peakKb, 200 * 1024);
}

TEST_F(HostilePop3, TricklingServerMeetsTheRunDeadline) {
  HostileServer server(root, "trickle", {"inj1.eml", "real2.eml"});
  configure(server, {{kRunDeadline, "5"}});
  RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(120));
  ASSERT_TRUE(run.ended) << "still running after 120 s";
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(diagnosticFile().find("stopped at its deadline of 5 seconds"), std::string::npos) << diagnosticFile();
  EXPECT_TRUE(rows().empty());
}

TEST_F(HostilePop3, TricklingMessageIsSkippedAndTheNextComesIn) {
  // The message's own time limit ends its download before the header was
  // complete: it is skipped, a new session takes in the one behind it.
  HostileServer server(root, "trickle", {"inj1.eml", "real2.eml"});
  configure(server, {{kMessageDeadline, "3"}});
  RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(120));
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(diagnosticFile().find("Message 1 was skipped for this run"), std::string::npos) << diagnosticFile();
  std::vector<Row> stored = rows();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].subject, "real second message");
  EXPECT_NE(server.log().find("QUIT; deleted [2]"), std::string::npos) << server.log();
}

TEST_F(HostilePop3, HangingMessageIsSkippedAndTheOthersComeIn) {
  // RETR 2 is never answered; 1 and 3 are stored, and deleted by the
  // second session.
  HostileServer server(root, "hangretr", {"inj1.eml", "real2.eml", "inj1.eml"});
  configure(server, {{kMessageDeadline, "3"}});
  RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(120));
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.status, 1) << run.output;
  std::vector<Row> stored = rows();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].subject, "first");
  EXPECT_EQ(stored[1].subject, "first");
  EXPECT_NE(server.log().find("QUIT; deleted [1, 3]"), std::string::npos) << server.log();
}

TEST_F(HostilePop3, TwoSlowMessagesDoNotHoldTheMailbox) {
  // Two messages that never finish come first; the run's time is shorter
  // than their two time limits. The message behind them comes in with the
  // second run, and each slow one, after timing out in three runs, is
  // stored as Rejected and leaves the mailbox.
  HostileServer server(root, "slowfiles", {"slow1.eml", "slow2.eml", "real2.eml"}, {"PERSIST=1"});
  configure(server, {{kMessageDeadline, "2"}, {kRunDeadline, "4"}});
  auto stored = [&](const std::string& subject) {
    for (const Row& row : rows())
      if (row.subject == subject) return true;
    return false;
  };
  for (int run = 1; run <= 2; ++run) {
    RunResult result = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(60));
    ASSERT_TRUE(result.ended);
  }
  EXPECT_TRUE(stored("real second message")) << diagnosticFile() << server.log();

  int runs = 2;
  auto rejectedSlow = [&] {
    size_t n = 0;
    for (const Row& row : rows())
      if (row.status == kLogRejected && row.history.find("timed out in 3 runs") != std::string::npos &&
          row.text.rfind("From: slow@example.org\r\nz\r\n", 0) == 0)
        ++n;
    return n;
  };
  while (rejectedSlow() < 2 && runs < 8) {
    RunResult result = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(60));
    ASSERT_TRUE(result.ended);
    ++runs;
  }
  EXPECT_EQ(rejectedSlow(), 2u) << diagnosticFile() << server.log();
  EXPECT_LE(runs, 6);
  // The mailbox is empty now: the next session finds nothing to fetch.
  RunResult last = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(60));
  ASSERT_TRUE(last.ended);
  EXPECT_EQ(rows().size(), 3u);
  std::string log = server.log();
  EXPECT_EQ(log.find("RETR", log.rfind("connect")), std::string::npos) << log;
}

TEST_F(HostilePop3, SigtermIsHeardDuringADownload) {
  HostileServer server(root, "trickle", {"inj1.eml", "real2.eml"});
  configure(server);  // deadlines at their defaults: minutes
  bool sent = false;
  auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point signalled;
  RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(60), [&](pid_t pid) {
    if (!sent && server.log().find("C: RETR 1") != std::string::npos &&
        std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) {
      kill(pid, SIGTERM);
      sent = true;
      signalled = std::chrono::steady_clock::now();
    }
  });
  ASSERT_TRUE(sent);
  ASSERT_TRUE(run.ended) << "SIGTERM not heard within 60 s";
  EXPECT_EQ(run.status, 0) << run.output;  // a stop is an end like any other
  RecordProperty("ms from SIGTERM to exit",
                 static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - signalled)
                                      .count()));
  EXPECT_TRUE(rows().empty());
}

// A server that never answers: the connect (a full accept queue drops the
// SYN), the TLS handshake of POP3S, or the one after STLS. SIGTERM must be
// heard at once, and the run's deadline must end the run, in each.
TEST_F(HostilePop3, StalledConnectAndHandshakeHearSigtermAndTheDeadline) {
  HostileServer hang(root, "hang", {});
  HostileServer stls(root, "stlshang", {});
  ASSERT_TRUE(hang.listening() && stls.listening());
  BlackholePort blackhole;
  struct Case {
    const char* name;
    int port;
    std::map<int, std::string> settings;
    const char* diagnostic;  // at the deadline
  };
  const std::vector<Case> cases = {
      {"connect never answered", blackhole.port(), {}, "Connecting to 127.0.0.1:%d was interrupted"},
      {"POP3S handshake", hang.port(), {{kPop3Security, "tls"}}, "TLS with 127.0.0.1:%d was interrupted"},
      {"STLS handshake", stls.port(), {{kPop3Security, "stls"}}, "TLS with 127.0.0.1:%d was interrupted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.port == blackhole.port() && !blackhole.ready()) continue;
    // SIGTERM a second after the start; the deadlines are minutes.
    configure(c.port, c.settings);
    bool sent = false;
    auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point signalled;
    RunResult run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(150), [&](pid_t pid) {
      if (!sent && std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) {
        kill(pid, SIGTERM);
        sent = true;
        signalled = std::chrono::steady_clock::now();
      }
    });
    auto heard = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - signalled);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.status, 0) << run.output;
    RecordProperty(std::string("ms from SIGTERM to exit, ") + c.name, static_cast<int>(heard.count()));
    EXPECT_LT(heard, std::chrono::seconds(5)) << heard.count() << " ms";

    // The run's deadline of 3 s ends the wait, with one diagnostic.
    auto settings = c.settings;
    settings[kRunDeadline] = "3";
    configure(c.port, settings);
    start = std::chrono::steady_clock::now();
    run = runOrvserv(tarnwick, "retrieve", std::chrono::seconds(150));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.status, 1) << run.output;
    RecordProperty(std::string("ms until the run gave up, ") + c.name, static_cast<int>(took.count()));
    EXPECT_LT(took, std::chrono::seconds(10)) << took.count() << " ms";
    char expected[128];
    std::snprintf(expected, sizeof expected, c.diagnostic, c.port);
    EXPECT_NE(diagnosticFile().find(expected), std::string::npos) << diagnosticFile();
  }
  EXPECT_TRUE(rows().empty());
}

}  // namespace
}  // namespace cycletest
