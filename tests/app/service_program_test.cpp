// orvserv run the way a service and a script run it: help and version
// without waiting, settings written from the command line, and a failing
// /Run that says why on stderr.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/configurations.h"

namespace fs = std::filesystem;

namespace {

std::string bin() {
  const char* env = std::getenv("ORV_BIN");
  return env ? env : std::string(ORV_BINARY_DIR) + "/bin";
}

struct Result {
  int status = -1;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ServiceProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "orvsvc.XXXXXX").string();
    dir_ = mkdtemp(templ.data());
    db_ = dir_ + "/db";
    ASSERT_EQ(std::system(("'" + bin() + "/tarnwick-sim' create '" + db_ + "' >/dev/null").c_str()), 0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs a program of bin() with args and stdin text; stdout and stderr
  // kept apart.
  Result run(const std::string& program, const std::string& args, const std::string& stdinText = "") {
    std::ofstream(dir_ + "/in") << stdinText;
    std::string command = "'" + bin() + "/" + program + "' " + args + " <'" + dir_ + "/in' >'" + dir_ +
                          "/out' 2>'" + dir_ + "/err'";
    int st = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = slurp(dir_ + "/out");
    r.err = slurp(dir_ + "/err");
    return r;
  }
  std::string database() const { return "'/TarnwickDatabase:" + db_ + "' "; }
  std::string settingsFile() const { return slurp(db_ + "/@Orvane/orvserv.cfg"); }

  std::string dir_, db_;
};

// A loopback port nobody listens on (also a free port for a console).
int closedPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);  // bound, never listened on, closed: connecting is refused
  return ntohs(a.sin_port);
}

TEST_F(ServiceProgramTest, HelpAndVersionAnswerAtOnceWithStatusZero) {
  for (const char* ask : {"--help", "-h", "'/?'", "-?"}) {
    Result help = run("orvserv", std::string(ask) + " /TarnwickDatabase:/nowhere");
    EXPECT_EQ(help.status, 0) << ask << help.err;
    EXPECT_EQ(help.out.rfind("Usage: orvserv [options]\noptions:\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find(" /Set:               -- Write setting N=VALUE"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("orvserv /TD:/srv/tarnwick /Set:101=pop.example.org"), std::string::npos);
    EXPECT_EQ(help.out.find('*'), std::string::npos) << "a marker is shown:\n" << help.out;
    EXPECT_EQ(help.err, "");
  }
  Result french = run("orvserv", "/LANGID:40c --help");
  EXPECT_EQ(french.status, 0);
  EXPECT_EQ(french.out.rfind("Utilisation: orvserv [options]\n", 0), 0u) << french.out;

  Result version = run("orvserv", "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "orvserv 3.0.0.0\n");
  // Nothing was opened or made.
  EXPECT_FALSE(fs::exists(db_ + "/@Orvane"));

  for (const char* tool : {"orvdb", "tarnwick-sim"}) {
    Result toolHelp = run(tool, "--help");
    EXPECT_EQ(toolHelp.status, 0) << tool;
    EXPECT_NE(toolHelp.out.find(std::string("e.g. ") + tool + " "), std::string::npos) << toolHelp.out;
    Result toolVersion = run(tool, "--version");
    EXPECT_EQ(toolVersion.out, std::string(tool) + " 3.0.0.0\n");
  }
}

TEST_F(ServiceProgramTest, SetWritesTheSettingsAndStartsNothing) {
  std::ofstream(dir_ + "/password") << "p@ss word\n";
  Result set = run("orvserv",
                database() + "/Set:101=pop.example.org /Set:103=gateway '/SetFromFile:104=" + dir_ +
                    "/password' /Set:151=60 /Set:156=1 /SetFromStdin:155",
                "desk@example.org\n");
  ASSERT_EQ(set.status, 0) << set.out << set.err;
  EXPECT_NE(set.out.find("Settings written: 101, 103, 104, 151, 155, 156"), std::string::npos) << set.out;
  EXPECT_EQ(set.out.find("console at"), std::string::npos);
  std::string cfg = settingsFile();
  EXPECT_NE(cfg.find("[101] pop.example.org\r\n"), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("[103] gateway\r\n"), std::string::npos);
  EXPECT_NE(cfg.find("[104] " + scramble("p@ss word").str() + "\r\n"), std::string::npos) << cfg;
  EXPECT_EQ(cfg.find("p@ss"), std::string::npos);
  EXPECT_NE(cfg.find("[151] 60\r\n"), std::string::npos);
  EXPECT_NE(cfg.find("[155] desk@example.org\r\n"), std::string::npos);
  // The first start's defaults are there as well.
  EXPECT_NE(cfg.find("[152] Tarnwick @Orvane\r\n"), std::string::npos) << cfg;
  EXPECT_EQ(fs::status(db_ + "/@Orvane/orvserv.cfg").permissions() & fs::perms::others_all, fs::perms::none);
  // The gateway tables were made, so the service starts on them.
  EXPECT_TRUE(fs::exists(db_ + "/@Orvane/logs.dbf"));

  // A later /Set changes one setting and keeps the others.
  ASSERT_EQ(run("orvserv", database() + "/Set:101=pop2.example.org").status, 0);
  cfg = settingsFile();
  EXPECT_NE(cfg.find("[101] pop2.example.org\r\n"), std::string::npos);
  EXPECT_NE(cfg.find("[103] gateway\r\n"), std::string::npos);
}

TEST_F(ServiceProgramTest, SetRefusesBadValuesAndWritesNothing) {
  ASSERT_EQ(run("orvserv", database() + "/Set:103=gateway").status, 0);
  const std::string before = settingsFile();
  Result bad = run("orvserv", database() + "/Set:101=ok.example.org /Set:999=x /Set:106=smtp", "");
  EXPECT_EQ(bad.status, 10);
  EXPECT_NE(bad.err.find("<3>Setting 999 cannot be written from the command line\n"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("<3>The value of setting 106 must be a port number from 0 to 65535\n"), std::string::npos);
  Result control = run("orvserv", database() + "/SetFromStdin:103", std::string("gate\x01way\n"));
  EXPECT_EQ(control.status, 10);
  EXPECT_NE(control.err.find("<3>The value of setting 103 holds a control character at position 4"),
            std::string::npos)
      << control.err;
  EXPECT_EQ(settingsFile(), before);

  Result malformed = run("orvserv", database() + "/Set:101");
  EXPECT_EQ(malformed.status, 2);
  EXPECT_NE(malformed.err.find("Invalid Option: /Set:101"), std::string::npos) << malformed.err;
  Result withRun = run("orvserv", database() + "/Set:101=x /Run:all");
  EXPECT_EQ(withRun.status, 10);
  EXPECT_NE(withRun.err.find("<3>/Set cannot be combined with /Run"), std::string::npos);
}

TEST_F(ServiceProgramTest, SetIsRefusedWhileTheGatewayRunsOnTheDatabase) {
  ASSERT_EQ(run("orvserv", database() + "/Set:103=gateway").status, 0);
  const std::string before = settingsFile();
  int port = closedPort();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    FILE* f = std::freopen((dir_ + "/gateway.out").c_str(), "w", stdout);
    (void)f;
    std::string database = "/TarnwickDatabase:" + db_;
    std::string listen = "/Listen:127.0.0.1:" + std::to_string(port);
    execl((bin() + "/orvserv").c_str(), "orvserv", database.c_str(), listen.c_str(), (char*)nullptr);
    _exit(127);
  }
  std::string text;
  for (int i = 0; i < 200 && text.find("console at") == std::string::npos; ++i) {
    usleep(50000);
    text = slurp(dir_ + "/gateway.out");
  }
  ASSERT_NE(text.find("console at"), std::string::npos) << text;
  Result set = run("orvserv", database() + "/Set:101=pop.example.org");
  // Refused, and the running gateway's file is as it was.
  EXPECT_EQ(settingsFile(), before);
  kill(pid, SIGTERM);
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_EQ(set.status, 10) << set.out << set.err;
  EXPECT_NE(set.err.find("<3>The gateway is running on this database; stop it before writing its settings"),
            std::string::npos)
      << set.err;
  EXPECT_EQ(settingsFile().find("pop.example.org"), std::string::npos);
}

TEST_F(ServiceProgramTest, AFailingRunSaysWhyOnStderrWithTheServerAndPort) {
  int port = closedPort();
  ASSERT_EQ(run("orvserv", database() + "/Set:101=127.0.0.1 /Set:105=" + std::to_string(port) + " /Set:103=gw")
                .status,
            0);
  Result retrieve = run("orvserv", database() + "/Listen:off /Run:retrieve");
  EXPECT_EQ(retrieve.status, 1);
  const std::string peer = "(127.0.0.1:" + std::to_string(port) + ")";
  EXPECT_NE(retrieve.err.find("<3>POP3 manager : 0x"), std::string::npos) << retrieve.err;
  EXPECT_NE(retrieve.err.find(peer + "\n"), std::string::npos) << retrieve.err;
  EXPECT_NE(retrieve.err.find("<3>The run reported 1 failure(s); exit status 1\n"), std::string::npos)
      << retrieve.err;
  // Every stderr line is one journal line.
  size_t start = 0;
  for (size_t end; (end = retrieve.err.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_EQ(retrieve.err[start], '<') << retrieve.err.substr(start, end - start);
  // diagnostic.txt keeps its own form.
  std::string diagnostics = slurp(db_ + "/@Orvane/diagnostic.txt");
  EXPECT_NE(diagnostics.find(" : POP3 manager : 0x"), std::string::npos) << diagnostics;
  EXPECT_EQ(diagnostics.find("<3>"), std::string::npos);
}

}  // namespace
