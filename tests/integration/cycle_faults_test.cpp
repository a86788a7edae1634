// Faults during the runs: a POP3 connection that drops while downloading,
// a logs table that cannot be written during intake, an SMTP server that
// closes during DATA. The mail servers are scripted (platform/
// socket_scripted.h); the databases are real files, the write faults come
// from the fault-injecting file layer.
#include <filesystem>
#include <map>
#include <optional>

#include "cycle/cycle_test_support.h"
#include "cycle/intake.h"
#include "common/user_interaction.h"
#include "cycle_world.h"
#include "platform/fault_file.h"
#include "platform/socket_scripted.h"

namespace cycletest {
namespace {

class ScriptedPeers {
 public:
  ScriptedPeers() {
    net.addHost("pop.test", "192.0.2.10");
    net.addHost("smtp.test", "192.0.2.11");
    setSockets(&net);
  }
  ~ScriptedPeers() { setSockets(nullptr); }

  // A POP3 server holding mailbox; RETR of dropAt sends half a message
  // and closes the connection.
  void playPop3(int dropAt = 0) {
    commands.clear();
    net.peerSends("+OK ready\r\n");
    net.responder = [this, dropAt](const std::string& line) -> std::string {
      commands.push_back(line.substr(0, line.size() - 2));
      std::string word = line.substr(0, line.find_first_of(" \r"));
      int n = std::atoi(line.c_str() + word.size());
      if (word == "USER" || word == "PASS" || word == "DELE") return "+OK\r\n";
      if (word == "STAT") return "+OK " + std::to_string(mailbox.size()) + " 999\r\n";
      if (word == "LIST") return "+OK " + std::to_string(n) + " 99\r\n";
      if (word == "RETR" && n == dropAt) {
        net.peerSends("+OK\r\n" + mailbox[n].substr(0, 10));
        net.peerCloses();
        return "";
      }
      if (word == "RETR") return "+OK\r\n" + mailbox[n] + ".\r\n";
      if (word == "QUIT") {
        for (const std::string& c : commands)
          if (c.rfind("DELE ", 0) == 0) mailbox.erase(std::atoi(c.c_str() + 5));
        return "+OK bye\r\n";
      }
      return "-ERR\r\n";
    };
  }

  // An SMTP server that accepts everything, or closes after DATA's text
  // when closeInData is set.
  void playSmtp(bool closeInData) {
    inData = false;
    net.peerSends("220 smtp.test ready\r\n");
    net.responder = [this, closeInData](const std::string& line) -> std::string {
      if (inData) {
        if (line != ".\r\n") return "";
        inData = false;
        if (closeInData) {
          net.peerCloses();
          return "";
        }
        ++delivered;
        return "250 queued\r\n";
      }
      if (line.rfind("DATA", 0) == 0) {
        inData = true;
        return "354 go on\r\n";
      }
      if (line.rfind("QUIT", 0) == 0) return "221 bye\r\n";
      return "250 ok\r\n";
    };
  }

  bool sent(const std::string& command) const {
    for (const auto& c : commands)
      if (c == command) return true;
    return false;
  }

  ScriptedSockets net;
  std::map<int, std::string> mailbox;
  std::vector<std::string> commands;
  bool inData = false;
  int delivered = 0;
};

// Error boxes of the engine go here instead of the terminal.
class QuietBoxes : public UserInteraction {
 public:
  QuietBoxes() { setUserInteraction(this); }
  ~QuietBoxes() override { setUserInteraction(nullptr); }
  void messageBox(MessageIcon, const stringT&, const stringT&) override { ++shown; }
  int shown = 0;
};

void pointAtScriptedPeers(World& w) {
  w.settings().set(kPop3Server, "pop.test");
  w.settings().set(kPop3Port, "");
  w.settings().set(kSmtpServer, "smtp.test");
  w.settings().set(kSmtpPort, "");
}

std::string request(int n) {
  return "From: Bob Lee <bob@example.com>\r\nSubject: fault " + std::to_string(n) + "\r\n\r\nBody " +
         std::to_string(n) + "\r\n";
}

std::set<std::string> storedSubjects(World& w) {
  std::set<std::string> out;
  for (int s = 0; s < kLogStatusCount; ++s)
    for (const LogRecord& r : w.rows(s)) out.insert(r.message().header("subject").str());
  return out;
}

TEST(CycleFaults, DroppedDownloadDeletesNothingWithoutANewSession) {
  // Message 1 is stored as it arrives; the drop during message 2 skips it,
  // and the new session that would delete message 1 and go on cannot be
  // opened (this peer stays closed): nothing leaves the server, and the
  // next run takes message 1 in again rather than lose anything.
  CycleClock clock;
  ScriptedPeers peers;
  World w;
  pointAtScriptedPeers(w);
  for (int n = 1; n <= 3; ++n) peers.mailbox[n] = request(n);
  peers.playPop3(/*dropAt=*/2);
  w.cycle().retrieveMail();
  EXPECT_FALSE(peers.sent("DELE 1"));
  EXPECT_FALSE(peers.sent("QUIT"));  // disconnected without QUIT: the server keeps all
  EXPECT_EQ(peers.mailbox.size(), 3u);
  EXPECT_EQ(storedSubjects(w), std::set<std::string>{"fault 1"});
  auto texts = w.diagnosticTexts();
  ASSERT_EQ(texts.size(), 2u) << ::testing::PrintToString(texts);  // newest first
  EXPECT_NE(texts[1].find("Message 2 was skipped for this run"), std::string::npos) << texts[1];
  EXPECT_NE(texts[1].find("connection lost -- reading failure"), std::string::npos) << texts[1];
  EXPECT_NE(texts[0].find("greeting failed"), std::string::npos) << texts[0];
  EXPECT_EQ(w.cycle().status().snapshot().statusText, "");
}

TEST(CycleFaults, UnwritableLogsTableKeepsTheMessagesOnTheServer) {
  CycleClock clock;
  ScriptedPeers peers;
  World w;
  QuietBoxes boxes;
  pointAtScriptedPeers(w);
  for (int n = 1; n <= 3; ++n) peers.mailbox[n] = request(n);
  FaultFileSystem faults;
  setFileSystem(&faults);
  faults.diskFullAfter = 0;  // not one byte can be written
  peers.playPop3();
  w.cycle().retrieveMail();
  setFileSystem(nullptr);
  EXPECT_FALSE(peers.sent("DELE 1") || peers.sent("DELE 2") || peers.sent("DELE 3"));
  EXPECT_TRUE(peers.sent("QUIT"));
  EXPECT_EQ(peers.mailbox.size(), 3u);
  EXPECT_EQ(w.diagnosticTexts().size(), 3u);  // one per message that could not be stored

  // One failing write: whatever it costs, a message leaves the server only
  // with its row stored, and the rest is taken in by the next run.
  diagnostics().clear();
  w.reload();
  for (int64_t failAt = 1; failAt <= 12; ++failAt) {
    setFileSystem(&faults);
    faults.reset();
    faults.failWrite = failAt;
    peers.playPop3();
    w.cycle().retrieveMail();
    setFileSystem(nullptr);
    w.reload();
    std::set<std::string> stored = storedSubjects(w);
    for (int n = 1; n <= 3; ++n) {
      std::string subject = "fault " + std::to_string(n);
      bool onServer = false;
      for (const auto& [number, text] : peers.mailbox) onServer |= text.find(subject) != std::string::npos;
      EXPECT_TRUE(onServer || stored.count(subject)) << "lost " << subject << " failing write " << failAt;
    }
    // Renumber what is left, as a server does at the next session.
    std::map<int, std::string> left;
    for (const auto& [number, text] : peers.mailbox) left[static_cast<int>(left.size()) + 1] = text;
    peers.mailbox = left;
    if (peers.mailbox.empty())
      for (int n = 1; n <= 3; ++n) peers.mailbox[n] = request(n);
  }
  EXPECT_EQ(w.checkTables(), "");
}

TEST(CycleFaults, AFullDiskUnderTheDiagnosticFileLosesNoRun) {
  // The run that reports a dropped download goes on to store what it has
  // and to end its session, though not one line of its report reaches
  // diagnostic.txt; the tables, on another disk, are written as usual.
  CycleClock clock;
  ScriptedPeers peers;
  World w;
  QuietBoxes boxes;
  pointAtScriptedPeers(w);
  const std::string file = w.root() + "/diagnostic.txt";
  diagnostics().openDiagnosticFile(stringT(file), true);
  for (int n = 1; n <= 3; ++n) peers.mailbox[n] = request(n);
  FaultFileSystem faults;
  faults.onlyPath = file;
  faults.diskFullAfter = 0;
  setFileSystem(&faults);
  peers.playPop3(/*dropAt=*/2);
  w.cycle().retrieveMail();
  setFileSystem(nullptr);
  diagnostics().openDiagnosticFile(stringT(), false);
  EXPECT_EQ(storedSubjects(w), std::set<std::string>{"fault 1"});
  EXPECT_EQ(w.diagnosticTexts().size(), 2u);  // both reports are listed
  EXPECT_GE(faults.opens, 2);                 // and were offered to the file
  EXPECT_EQ(faults.bytesWritten, 0);
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
  // A second run, with room again, reports as usual.
  diagnostics().openDiagnosticFile(stringT(file), false);
  peers.playPop3(/*dropAt=*/2);
  w.cycle().retrieveMail();
  diagnostics().openDiagnosticFile(stringT(), false);
  EXPECT_GT(std::filesystem::file_size(file), 0u);
  EXPECT_EQ(w.checkTables(), "");
}

TEST(CycleFaults, SmtpClosingDuringDataKeepsTheNoticeQueued) {
  CycleClock clock;
  std::optional<ScriptedPeers> first(std::in_place);
  ScriptedPeers& peers = *first;
  World w;
  pointAtScriptedPeers(w);
  {
    LogsManager logs(w.gateway());
    LogRecord row{MailMessage(stringT(request(1)))};
    takeIn(row, intakeStamp(clock.now()));
    ASSERT_EQ(logs.Append(row), 0);
  }
  w.cycle().updateLogs();
  ASSERT_EQ(w.rows(kLogPendingAck).size(), 1u);

  peers.playSmtp(/*closeInData=*/true);
  w.cycle().sendAcknowledgements();
  EXPECT_EQ(w.rows(kLogPendingAck).size(), 1u);
  EXPECT_FALSE(w.diagnosticTexts().empty());

  first.reset();  // the next run meets a server that works
  ScriptedPeers second;
  second.playSmtp(/*closeInData=*/false);
  w.cycle().sendAcknowledgements();
  EXPECT_EQ(second.delivered, 1);
  EXPECT_EQ(w.rows(kLogPendingAck).size(), 0u);
  EXPECT_NE(second.net.sent().find("RCPT TO:<bob@example.com>\r\n"), std::string::npos);
}

}  // namespace
}  // namespace cycletest
