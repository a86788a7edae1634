// Runs the orvserv program itself and checks what it prints, byte for byte.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
};

// stdin from /dev/null (not a terminal); stderr as redirect says.
ProgramRun runOrvserv(const std::string& args, const std::string& lang = "C", const std::string& redirect = "2>/dev/null") {
  std::string command = "cd /tmp && env -u LC_ALL -u LC_MESSAGES LANG=" + lang + " '" + std::string(ORV_BINARY_DIR) +
                        "/bin/orvserv' " + args + " </dev/null " + redirect;
  ProgramRun run;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(Orvserv, InvalidOptionPrintsTheUsageAndFails) {
  ProgramRun run = runOrvserv("/LANG:40c");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out,
            "Usage: orvserv [options]\n"
            "options:\n"
            " /TarnwickDatabase:  -- Tarnwick Database location.\n"
            " /LANGID:            -- Language id to use.\n"
            " /Listen:            -- Operator console address ADDR:PORT, or off.\n"
            " /Run:               -- Do one run and exit: retrieve, update, acknowledge or all.\n"
            " /AssumeYes+/-       -- Answer Yes to start-up questions.\n"
            " /ConsolePassword+/- -- Set the operator console's password (asked for), then exit.\n"
            " /Set:               -- Write setting N=VALUE into orvserv.cfg and exit (repeatable).\n"
            " /SetFromFile:       -- Write setting N=PATH from the first line of that file and exit.\n"
            " /SetFromStdin:      -- Write setting N from one line of standard input and exit.\n"
            " /NewConsoleToken+/- -- Replace the console's login token (every session ends), then exit.\n");
}

TEST(Orvserv, TheInvalidOptionLineIsInTheUsersLanguage) {
  ProgramRun run = runOrvserv("/TD:/tmp bare", "fr_FR.UTF-8", "2>&1 >/dev/null");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "<3>Option invalide : bare\n");
}

// orvserv on a terminal, with an older gateway database: the question
// comes to the terminal and the operator's "yes" upgrades the database.
TEST(Orvserv, AsksItsQuestionsOnTheTerminal) {
  namespace fs = std::filesystem;
  char templ[] = "/tmp/orvserv-pty.XXXXXX";
  ASSERT_NE(mkdtemp(templ), nullptr);
  const std::string root = templ, db = root + "/tarnwick", bin = std::string(ORV_BINARY_DIR) + "/bin";
  ASSERT_EQ(std::system(("'" + bin + "/tarnwick-sim' create '" + db + "' >/dev/null 2>&1").c_str()), 0);
  fs::copy(std::string(ORV_TEST_DATA) + "/fixtures/tables/gateway_v1", db + "/@Orvane", fs::copy_options::recursive);

  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("LANG", "C", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    execl((bin + "/orvserv").c_str(), "orvserv", ("/TarnwickDatabase:" + db).c_str(), "/Run:update", "/Listen:off",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  bool answered = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // the program ended: the terminal is gone
    seen.append(buffer, static_cast<size_t>(n));
    if (!answered && seen.find("[No/Yes] ") != std::string::npos) {
      ASSERT_EQ(write(master, "yes\n", 4), 4);
      answered = true;
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_TRUE(answered) << seen;
  EXPECT_NE(seen.find("OK to upgrade database?"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Database upgrade complete"), std::string::npos) << seen;
  EXPECT_TRUE(fs::exists(db + "/@Orvane/Versions.dbf"));
  EXPECT_NE(WEXITSTATUS(status), 4) << seen;  // the gateway directory was taken
  std::error_code ec;
  fs::remove_all(root, ec);
}

}  // namespace
