// Runs the orvserv program itself and checks what it prints, byte for byte.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
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
            " /SetFromStdin:      -- Write setting N from one line of standard input and exit.\n");
}

TEST(Orvserv, TheInvalidOptionLineIsInTheUsersLanguage) {
  ProgramRun run = runOrvserv("/TD:/tmp bare", "fr_FR.UTF-8", "2>&1 >/dev/null");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "<3>Option invalide : bare\n");
}

}  // namespace
