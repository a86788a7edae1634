// orvserv as a whole process: each start-up failure with its message and
// exit status, and a clean start and SIGTERM that leave the settings
// written and both databases closed.
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

namespace fs = std::filesystem;

namespace {

std::string bin() {
  const char* env = std::getenv("ORV_BIN");
  return env ? env : std::string(ORV_BINARY_DIR) + "/bin";
}

int freePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

struct Outcome {
  int status = -1;
  std::string output;
};

// Runs orvserv with args (stdin from /dev/null) and collects its output.
Outcome orvserv(const std::string& args) {
  Outcome o;
  std::string command = "'" + bin() + "/orvserv' " + args + " </dev/null 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return o;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) o.output.append(buf.data(), n);
  int st = pclose(p);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return o;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "orvprog.XXXXXX").string();
    dir_ = mkdtemp(templ.data());
    db_ = dir_ + "/db";
    ASSERT_EQ(std::system(("'" + bin() + "/tarnwick-sim' create '" + db_ + "' >/dev/null").c_str()), 0);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string options(const std::string& more = "") {
    return "'/TarnwickDatabase:" + db_ + "' /Listen:off /Run:update " + more;
  }
  std::string dir_, db_;
};

}  // namespace

TEST_F(ProgramTest, EachStartUpFailureHasItsMessageAndStatus) {
  Outcome bad = orvserv("/NoSuchOption:1");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.output.find("Invalid Option: /NoSuchOption:1"), std::string::npos) << bad.output;

  Outcome missing = orvserv("'/TarnwickDatabase:" + dir_ + "/nowhere' /Listen:off /Run:update");
  EXPECT_EQ(missing.status, 3) << missing.output;

  std::ofstream(db_ + "/@Orvane") << "a file where the directory should be";
  Outcome blocked = orvserv(options());
  EXPECT_EQ(blocked.status, 4) << blocked.output;
  EXPECT_NE(blocked.output.find("Can't create directory : " + db_ + "/@Orvane"), std::string::npos) << blocked.output;
  fs::remove(db_ + "/@Orvane");

  ASSERT_EQ(orvserv(options()).status, 0);  // makes the gateway database
  fs::rename(db_ + "/@Orvane/logs.dbf", db_ + "/@Orvane/logs.keep");
  std::ofstream(db_ + "/@Orvane/logs.dbf") << "not a table";
  Outcome logs = orvserv(options());
  EXPECT_EQ(logs.status, 7) << logs.output;
  EXPECT_NE(logs.output.find("Can't open the Logs table"), std::string::npos) << logs.output;
  fs::remove(db_ + "/@Orvane/logs.dbf");
  fs::rename(db_ + "/@Orvane/logs.keep", db_ + "/@Orvane/logs.dbf");

  fs::rename(db_ + "/@Orvane/accounts.dbf", db_ + "/@Orvane/accounts.keep");
  std::ofstream(db_ + "/@Orvane/accounts.dbf") << "not a table";
  Outcome accounts = orvserv(options());
  EXPECT_EQ(accounts.status, 6) << accounts.output;
  EXPECT_NE(accounts.output.find("Can't open the Accounts table"), std::string::npos) << accounts.output;
}

TEST_F(ProgramTest, WrongVersionOfTheMaintenanceDatabaseIsRefused) {
  fs::remove_all(db_);
  ASSERT_EQ(std::system(("'" + bin() + "/tarnwick-sim' create '" + db_ + "' --layout 2.5 >/dev/null").c_str()), 0);
  Outcome old = orvserv(options());
  EXPECT_EQ(old.status, 3) << old.output;
}

TEST_F(ProgramTest, SigtermWritesTheSettingsAndReleasesTheDatabases) {
  std::string out = dir_ + "/out.txt";
  int port = freePort();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    FILE* f = std::freopen(out.c_str(), "w", stdout);
    (void)f;
    std::string database = "/TarnwickDatabase:" + db_;
    std::string listen = "/Listen:127.0.0.1:" + std::to_string(port);
    execl((bin() + "/orvserv").c_str(), "orvserv", database.c_str(), listen.c_str(), (char*)nullptr);
    _exit(127);
  }
  std::string text;
  for (int i = 0; i < 200 && text.find("console at") == std::string::npos; ++i) {
    usleep(50000);
    std::ifstream in(out);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_NE(text.find("console at http://127.0.0.1:"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(db_ + "/@Orvane/orvserv.cfg"));
  kill(pid, SIGTERM);
  int st = 0;
  ASSERT_EQ(waitpid(pid, &st, 0), pid);
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0);
  ASSERT_TRUE(fs::exists(db_ + "/@Orvane/orvserv.cfg"));
  EXPECT_EQ(fs::status(db_ + "/@Orvane/orvserv.cfg").permissions() & fs::perms::group_all, fs::perms::none);
  // Both session locks are free: a second start succeeds (it could not
  // while the first held them exclusively, and a /Run start takes them).
  EXPECT_EQ(orvserv(options()).status, 0);
}
