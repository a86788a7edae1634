// Questions on a terminal: the terminal backend asks on one (a
// pseudo-terminal here, with the operator's reply already typed), the
// default backend asks no one even when a terminal is there.
#include "platform/terminal.h"

#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kYes = 0, kNo = 1;

// A pseudo-terminal: what is typed on it waits until someone reads it.
class TypedTerminal {
 public:
  TypedTerminal() {
    EXPECT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    in_ = ::fdopen(::dup(slave_), "r");
  }
  ~TypedTerminal() {
    if (in_) std::fclose(in_);
    ::close(slave_);
    ::close(master_);
  }
  void type(const std::string& text) { EXPECT_EQ(::write(master_, text.data(), text.size()), ssize_t(text.size())); }
  std::FILE* in() const { return in_; }
  int slave() const { return slave_; }

 private:
  int master_ = -1, slave_ = -1;
  std::FILE* in_ = nullptr;
};

std::string contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text += static_cast<char>(c);
  return text;
}

TEST(TerminalInteraction, AsksOnTheTerminalUntilAReplyFits) {
  setAssumeYes(false);
  TypedTerminal terminal;
  std::FILE* prompts = std::tmpfile();
  TerminalInteraction backend(terminal.in(), prompts);
  terminal.type("maybe\nY\n");
  EXPECT_EQ(backend.ask("Tarnwick Question", "OK to upgrade database?", kNo, kYes), kYes);
  EXPECT_EQ(contents(prompts), "[No/Yes] [No/Yes] ");
  terminal.type("n\n");
  EXPECT_EQ(backend.ask("Tarnwick Question", "OK to upgrade database?", kNo, kYes), kNo);
  // Five replies that fit neither answer: the safe one.
  terminal.type("a\nb\nc\nd\ne\nyes\n");
  EXPECT_EQ(backend.ask("Tarnwick Question", "OK?", 3, 2), 2);
  std::fclose(prompts);
}

TEST(TerminalInteraction, WithoutATerminalOrUnderAssumeYesNothingIsRead) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], "yes\n", 4), 4);
  ::close(fds[1]);
  std::FILE* in = ::fdopen(fds[0], "r");
  std::FILE* prompts = std::tmpfile();
  TerminalInteraction backend(in, prompts);
  setAssumeYes(false);
  EXPECT_EQ(backend.ask("Tarnwick Question", "OK to upgrade database?", kNo, kYes), kNo);
  TypedTerminal terminal;
  TerminalInteraction onTerminal(terminal.in(), prompts);
  setAssumeYes(true);
  EXPECT_EQ(onTerminal.ask("Tarnwick Question", "OK to upgrade database?", kNo, kYes), kYes);
  setAssumeYes(false);
  EXPECT_EQ(contents(prompts), "");
  char line[8] = {};
  EXPECT_NE(std::fgets(line, sizeof line, in), nullptr);
  EXPECT_STREQ(line, "yes\n");  // still there: nobody read it
  std::fclose(in);
  std::fclose(prompts);
}

TEST(TerminalInteraction, TheDefaultBackendAsksNoOneTheInstalledOneAsksTheTerminal) {
  setAssumeYes(false);
  TypedTerminal terminal;
  int savedStdin = ::dup(STDIN_FILENO);
  ASSERT_EQ(::dup2(terminal.slave(), STDIN_FILENO), STDIN_FILENO);
  std::clearerr(stdin);
  terminal.type("yes\n");

  setUserInteraction(nullptr);
  EXPECT_EQ(userInteraction().ask("Tarnwick Question", "OK to upgrade database?", kNo, kYes), kNo);
  // The typed reply is still waiting: the terminal backend gets it.
  installTerminalInteraction();
  EXPECT_NE(dynamic_cast<TerminalInteraction*>(&userInteraction()), nullptr);
  EXPECT_EQ(userInteraction().ask("Tarnwick Question", "OK to upgrade database?", kNo, kYes), kYes);

  setUserInteraction(nullptr);
  ::dup2(savedStdin, STDIN_FILENO);
  ::close(savedStdin);
  std::clearerr(stdin);
}

}  // namespace
