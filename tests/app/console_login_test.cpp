// The console's login secrets on the program's side: the login token file
// and /ConsolePassword, on their own and through orvserv.
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

#include "app/console_login.h"
#include "ui/console_password.h"

namespace fs = std::filesystem;

namespace {

std::string bin() {
  const char* env = std::getenv("ORV_BIN");
  return env ? env : std::string(ORV_BINARY_DIR) + "/bin";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

struct TempDir {
  std::string path;
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "orvlogin.XXXXXX").string();
    path = mkdtemp(templ.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

// stdin from input, stdout and stderr collected; the exit status.
int run(const std::string& args, const std::string& input, std::string& output) {
  std::string command = "printf '" + input + "' | '" + bin() + "/orvserv' " + args + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::array<char, 4096> buf;
  size_t n;
  output.clear();
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) output.append(buf.data(), n);
  int st = pclose(p);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

TEST(LoginToken, MadeOnceWithMode0600AndKept) {
  TempDir dir;
  std::string path = dir.path + "/console.token";
  std::string error;
  std::optional<std::string> first = loadOrCreateLoginToken(path, &error);
  ASSERT_TRUE(first) << error;
  EXPECT_EQ(first->size(), 64u);
  EXPECT_EQ(fs::status(path).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
  EXPECT_EQ(loadOrCreateLoginToken(path, &error), first);

  // A token too short to be safe is replaced, never used.
  std::ofstream(path) << "x\n";
  std::optional<std::string> replaced = loadOrCreateLoginToken(path, &error);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->size(), 64u);
  EXPECT_EQ(readFile(path), *replaced + "\n");

  EXPECT_FALSE(loadOrCreateLoginToken(dir.path + "/missing/dir/console.token", &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos);
}

TEST(ConsolePasswordOption, ReadsOneLineWhenNotATerminal) {
  std::string text = "open sesame\n";
  FILE* in = fmemopen(text.data(), text.size(), "r");
  std::string error;
  std::optional<std::string> hash = askConsolePassword(in, stderr, &error);
  std::fclose(in);
  ASSERT_TRUE(hash) << error;
  EXPECT_TRUE(checkConsolePassword(*hash, "open sesame"));

  std::string empty = "\n";
  in = fmemopen(empty.data(), empty.size(), "r");
  EXPECT_FALSE(askConsolePassword(in, stderr, &error));
  std::fclose(in);
  EXPECT_FALSE(error.empty());
}

TEST(ConsolePasswordOption, OrvservStoresTheHashAndPrintsWhereTheKeptTokenIs) {
  TempDir dir;
  std::string db = dir.path + "/db";
  ASSERT_EQ(std::system(("'" + bin() + "/tarnwick-sim' create '" + db + "' >/dev/null").c_str()), 0);
  std::string output;
  ASSERT_EQ(run("/TarnwickDatabase:" + db + " /ConsolePassword", "s3cret\\n", output), 0) << output;
  std::string settings = readFile(db + "/@Orvane/orvserv.cfg");
  size_t at = settings.find("[350] ");
  ASSERT_NE(at, std::string::npos) << settings;
  std::string hash = settings.substr(at + 6, settings.find_first_of("\r\n", at) - at - 6);
  EXPECT_TRUE(checkConsolePassword(hash, "s3cret"));
  EXPECT_EQ(settings.find("s3cret"), std::string::npos);

  EXPECT_NE(run("/TarnwickDatabase:" + db + " /ConsolePassword", "", output), 0);
  EXPECT_NE(readFile(db + "/@Orvane/orvserv.cfg").find(hash), std::string::npos) << "an empty answer changed it";

  // Two starts keep the token of the file. Their output goes to a file
  // (as under systemd, to the journal): it says where the token is and
  // never holds the token itself.
  std::string printed[2];
  for (std::string& line : printed) {
    std::string out = dir.path + "/out.txt";
    std::string listen = "/Listen:127.0.0.1:" + std::to_string(freePort());
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FILE* f = std::freopen(out.c_str(), "w", stdout);
      (void)f;
      std::string database = "/TarnwickDatabase:" + db;
      execl((bin() + "/orvserv").c_str(), "orvserv", database.c_str(), listen.c_str(), (char*)nullptr);
      _exit(127);
    }
    std::string text;
    for (int i = 0; i < 200 && text.find('\n') == std::string::npos; ++i) {
      usleep(50000);
      text = readFile(out);
    }
    kill(pid, SIGTERM);
    int st = 0;
    waitpid(pid, &st, 0);
    line = text.substr(0, text.find('\n'));
  }
  std::string token = readFile(db + "/@Orvane/console.token");
  ASSERT_EQ(token.size(), 65u);
  token.pop_back();
  for (const std::string& line : printed) {
    EXPECT_EQ(line.find(token), std::string::npos) << line;
    EXPECT_NE(line.find(db + "/@Orvane/console.token"), std::string::npos) << line;
    EXPECT_NE(line.find("/?token="), std::string::npos) << line;
  }
  EXPECT_EQ(readFile(db + "/@Orvane/console.token"), token + "\n");

  // /NewConsoleToken replaces it, and says where, not what.
  ASSERT_EQ(run("/TarnwickDatabase:" + db + " /NewConsoleToken", "", output), 0) << output;
  std::string renewed = readFile(db + "/@Orvane/console.token");
  ASSERT_EQ(renewed.size(), 65u);
  EXPECT_NE(renewed, token + "\n");
  EXPECT_EQ(output.find(renewed.substr(0, 64)), std::string::npos) << output;
  EXPECT_NE(output.find(db + "/@Orvane/console.token"), std::string::npos) << output;
  EXPECT_EQ(fs::status(db + "/@Orvane/console.token").permissions() & (fs::perms::group_all | fs::perms::others_all),
            fs::perms::none);
}
