// Each run killed (SIGKILL) at random moments and run again: afterwards
// every message is still on the server or in logs.dbf, every queued notice
// is sent or still queued, and orvdb check passes on every table.
#include <signal.h>
#include <sys/wait.h>

#include <random>

#include "cycle_world.h"

namespace cycletest {
namespace {

// Runs run() in a child process and kills it after delayUs.
void killDuring(const std::function<void()>& run, useconds_t delayUs) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    run();
    _exit(0);
  }
  usleep(delayUs);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
}

// Subjects of the messages still in the mailbox.
std::set<std::string> subjectsOnServer() {
  std::set<std::string> out;
  std::regex subject("\r\nSubject: ([^\r]*)\r\n");
  for (const char* sub : {"/new", "/cur"})
    for (const auto& e : fs::directory_iterator(peerEnv("ORV_MAILDIR") + sub)) {
      std::ifstream in(e.path(), std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::smatch m;
      if (std::regex_search(text, m, subject)) out.insert(m[1]);
    }
  return out;
}

std::set<std::string> subjectsStored(World& w) {
  std::set<std::string> out;
  for (int s = 0; s < kLogStatusCount; ++s)
    for (const LogRecord& r : w.rows(s)) out.insert(r.message().header("subject").str());
  return out;
}

TEST(CycleKill, EveryRunKilledAtRandomMomentsLosesNothing) {
  ORV_REQUIRE_PEERS();
  World w;
  std::mt19937 random(20261207);
  const int kMessages = 12;
  std::set<std::string> all;
  for (int n = 1; n <= kMessages; ++n) {
    std::string subject = "kill " + std::to_string(n);
    all.insert(subject);
    w.maildir().drop(message("From: Bob Lee <bob@example.com>\r\nSubject: " + subject + "\r\n", "x\r\n"));
  }

  for (int round = 0; round < 4; ++round) {
    killDuring([&] { w.cycle().retrieveMail(); }, 50000 + random() % 1500000);
    w.reload();
    std::set<std::string> server = subjectsOnServer(), stored = subjectsStored(w);
    for (const std::string& s : all) EXPECT_TRUE(server.count(s) || stored.count(s)) << "lost " << s;
  }
  w.cycle().retrieveMail();
  EXPECT_TRUE(subjectsOnServer().empty());
  std::set<std::string> stored = subjectsStored(w);
  EXPECT_EQ(stored, all);
  EXPECT_EQ(w.checkTables(), "");

  for (int round = 0; round < 3; ++round) {
    killDuring([&] { w.cycle().updateLogs(); }, 20000 + random() % 600000);
    w.reload();
    EXPECT_EQ(w.checkTables(), "") << "after killing update round " << round;
  }
  w.cycle().updateLogs();
  w.reload();
  EXPECT_TRUE(w.rows(kLogPendingProcessing).empty());
  size_t queued = w.rows(kLogPendingAck).size();
  EXPECT_GE(queued, static_cast<size_t>(kMessages));

  size_t sent = 0;
  for (int round = 0; round < 3; ++round) {
    killDuring([&] { w.cycle().sendAcknowledgements(); }, 20000 + random() % 800000);
    w.reload();
    sent += w.spool().fresh().size();
    EXPECT_GE(sent + w.rows(kLogPendingAck).size(), queued) << "a queued notice vanished";
    EXPECT_EQ(w.checkTables(), "");
  }
  w.cycle().sendAcknowledgements();
  sent += w.spool().fresh().size();
  EXPECT_TRUE(w.rows(kLogPendingAck).empty());
  EXPECT_GE(sent, queued);
}

}  // namespace
}  // namespace cycletest
