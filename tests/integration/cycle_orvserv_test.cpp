// The runs through the real program: orvserv /Run:... against Dovecot,
// aiosmtpd and a tarnwick-sim database, the settings in orvserv.cfg.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <thread>

#include "cycle_world.h"

namespace cycletest {
namespace {

std::string orvserv(const std::string& tarnwick, const std::string& run, int* status) {
  return runProgram(binary("orvserv") + " /TarnwickDatabase:" + tarnwick + " /Run:" + run +
                        " /Listen:off /AssumeYes+ < /dev/null",
                    status);
}

// orvserv.cfg for the mail peers of scripts/peers.sh.
std::string settingsFile() {
  std::string cfg;
  auto line = [&](int n, const std::string& v) { cfg += "[" + std::to_string(n) + "] " + v + "\r\n"; };
  line(kPop3Server, peerEnv("ORV_POP3_HOST"));
  line(kSmtpServer, peerEnv("ORV_SMTP_HOST"));
  line(kPop3Account, peerEnv("ORV_POP3_USER"));
  line(kPop3Password, scramble(peerEnv("ORV_POP3_PASSWORD")).str());
  line(kPop3Port, peerEnv("ORV_POP3_PORT"));
  line(kSmtpPort, peerEnv("ORV_SMTP_PORT"));
  line(kTitle, "Tarnwick @Orvane");
  line(kSubjectPrefix, "@Or:");
  line(kFirstLine, "Current status");
  line(kReturnAddress, "gateway@tarnwick-demo.example");
  return cfg;
}

// A tarnwick-sim database whose gateway database the first orvserv start
// made, with orvserv.cfg for the mail peers, and an empty mailbox.
class CycleOrvserv : public ::testing::Test {
 protected:
  void SetUp() override {
    ORV_REQUIRE_PEERS();
    if (!fs::exists(binary("orvserv"))) GTEST_SKIP() << "orvserv not built";
    char templ[] = "/tmp/orvserv-cycle.XXXXXX";
    root = mkdtemp(templ);
    tarnwick = root + "/tarnwick";
    int status = 0;
    runProgram(binary("tarnwick-sim") + " create " + tarnwick, &status);
    ASSERT_EQ(status, 0);
    maildir.empty();
    std::string out = orvserv(tarnwick, "update", &status);
    ASSERT_EQ(status, 0) << out;
    std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary) << cfg;
  }
  void TearDown() override {
    std::error_code ec;
    if (!root.empty()) fs::remove_all(root, ec);
  }

  std::string root, tarnwick;
  std::string cfg = settingsFile();
  TestMaildir maildir;
};

TEST_F(CycleOrvserv, RunAllTakesInUpdatesAndAcknowledges) {
  Spool spool;
  int status = 0;
  std::string out;

  maildir.drop(message("From: \"Pat\" <pat@new.example>\r\nSubject: Broken window\r\n", "Broken.\r\n"));
  out = orvserv(tarnwick, "all", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(maildir.messageFiles(), 0u);
  auto mail = spool.fresh();
  ASSERT_EQ(mail.size(), 1u);
  std::string text = withFixedStamps(mail[0]);
  EXPECT_EQ(text.substr(0, text.find("\r\n\r\n") + 4),
            "To: Pat <pat@new.example>\r\nFrom: Tarnwick @Orvane <gateway@tarnwick-demo.example>\r\n"
            "Subject: @Or: Broken window\r\nDate: D\r\nMessage-ID: M\r\nAuto-Submitted: auto-replied\r\nMIME-Version: 1.0\r\n"
         "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 7bit\r\n\r\n");
  EXPECT_TRUE(std::regex_search(text, std::regex("Number \\*?@O01001 -- is currently \"\\*?Waiting\\.\"\r\n")))
      << text;

  // A run that reports a failure ends with status 1.
  std::string cfgNow = cfg;
  cfgNow.replace(cfgNow.find("[105] "), std::string("[105] " + peerEnv("ORV_POP3_PORT")).size(), "[105] 1");
  std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary | std::ios::trunc) << cfgNow;
  out = orvserv(tarnwick, "retrieve", &status);
  EXPECT_EQ(status, 1) << out;
}

// SIGTERM at different moments of a retrieval run, from the login on: the
// run ends early or not, but a later run leaves every message exactly one
// row.
TEST_F(CycleOrvserv, SigtermDuringARetrievalLosesAndDoublesNothing) {

  int delivered = 0;
  int endedEarly = 0;
  for (int delayMs : {0, 40, 80, 120}) {
    for (int i = 0; i < 600; ++i, ++delivered)
      maildir.drop(message("From: <p" + std::to_string(delivered) + "@stop.example>\r\nSubject: m" +
                               std::to_string(delivered) + "\r\n",
                           std::string(2000, 'x') + "\r\n"));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int null = open("/dev/null", O_RDWR);
      for (int fd : {0, 1, 2}) dup2(null, fd);
      std::string db = "/TarnwickDatabase:" + tarnwick;
      execl(binary("orvserv").c_str(), "orvserv", db.c_str(), "/Run:retrieve", "/Listen:off", "/AssumeYes+",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (maildir.unseenMessageFiles() > 0 && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    kill(pid, SIGTERM);
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    // A stop is an end like any other: no signal death, no failure.
    ASSERT_TRUE(WIFEXITED(st)) << "delay " << delayMs << " ms: status " << st;
    EXPECT_EQ(WEXITSTATUS(st), 0) << "delay " << delayMs << " ms";
    endedEarly += maildir.messageFiles() > 0;
  }
  int status = 0;
  std::string out = orvserv(tarnwick, "retrieve", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(maildir.messageFiles(), 0u);

  GatewayDatabase gateway(stringT(tarnwick + "/@Orvane"), &guiSession());
  LogsManager logs(gateway);
  ASSERT_EQ(logs.Load(), 0);
  std::map<std::string, int> rowsBySubject;
  for (int s = 0; s < kLogStatusCount; ++s)
    for (long key : logs.KeysInStatus(s))
      if (auto row = logs.GetRecord(key)) ++rowsBySubject[row->message().header("subject").str()];
  EXPECT_EQ(rowsBySubject.size(), static_cast<size_t>(delivered));
  for (const auto& [subject, rows] : rowsBySubject) EXPECT_EQ(rows, 1) << subject;
  RecordProperty("runs ended early by SIGTERM", endedEarly);
}

}  // namespace
}  // namespace cycletest
