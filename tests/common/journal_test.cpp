// The journal lines on stderr: priority prefixes, one line per text, and
// the diagnostics and message boxes that write them.
#include "common/journal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/diagnostics.h"
#include "common/user_interaction.h"

namespace {

// Points the journal at a temporary file for the life of the object.
class CapturedJournal {
 public:
  CapturedJournal() : file_(std::tmpfile()), previous_(setJournalStream(file_)) {}
  ~CapturedJournal() {
    setJournalStream(previous_);
    std::fclose(file_);
  }
  std::string text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string out;
    for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) out += static_cast<char>(c);
    return out;
  }

 private:
  std::FILE* file_;
  std::FILE* previous_;
};

TEST(Journal, EachTextIsOneLineWithItsPriority) {
  EXPECT_EQ(journalLine(JournalPriority::Error, "POP3 manager : 0x0002\r\nCan't connect"),
            "<3>POP3 manager : 0x0002 : Can't connect");
  EXPECT_EQ(journalLine(JournalPriority::Warning, "a\nb\rc\r\n\r\nd"), "<4>a : b : c :  : d");
  EXPECT_EQ(journalLine(JournalPriority::Information, ""), "<6>");
}

TEST(Journal, DiagnosticsGoThereWithTheLevelTheyWereAddedWith) {
  CapturedJournal journal;
  DiagnosticList list;
  list.addDiagnostic("retrieved 3 messages");
  list.addDiagnostic("SMTP manager : 0x0002\r\nThe server is busy (mail.example.org:25)", DiagnosticLevel::Error);
  EXPECT_EQ(journal.text(),
            "<6>retrieved 3 messages\n"
            "<3>SMTP manager : 0x0002 : The server is busy (mail.example.org:25)\n");
  // The list itself keeps the text as it was.
  EXPECT_EQ(list.snapshot().front().description, "SMTP manager : 0x0002 : The server is busy (mail.example.org:25)");
}

TEST(Journal, MessageBoxesOfTheDefaultBackendCarryTheirIconsPriority) {
  CapturedJournal journal;
  UserInteraction& backend = userInteraction();
  backend.messageBox(MessageIcon::Error, "Tarnwick Error", "DB is not a directory\r\n/srv/x");
  backend.messageBox(MessageIcon::Warning, "", "can't write");
  backend.messageBox(MessageIcon::Information, "Tarnwick Information", "done");
  EXPECT_EQ(journal.text(),
            "<3>Tarnwick Error: DB is not a directory : /srv/x\n"
            "<4>can't write\n"
            "<6>Tarnwick Information: done\n");
}

TEST(Journal, AQuestionNobodyCanAnswerIsAWarning) {
  CapturedJournal journal;
  setAssumeYes(false);
  // The default backend asks no one, terminal or not: the safe answer.
  int answer = userInteraction().ask("Tarnwick Question", "OK to upgrade database?", 0, 1);
  EXPECT_EQ(answer, 1);
  std::string text = journal.text();
  EXPECT_NE(text.find("<6>Tarnwick Question: OK to upgrade database?\n"), std::string::npos) << text;
  EXPECT_NE(text.find("<4>answered No: no terminal to ask"), std::string::npos) << text;
}

TEST(Journal, ANullStreamWritesNothing) {
  std::FILE* previous = setJournalStream(nullptr);
  writeJournal(JournalPriority::Error, "dropped");
  EXPECT_EQ(setJournalStream(previous), nullptr);
}

}  // namespace
