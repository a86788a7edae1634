// The runs through the real program: orvserv /Run:... against Dovecot,
// aiosmtpd and a tarnwick-sim database, the settings in orvserv.cfg.
#include "cycle_world.h"

namespace cycletest {
namespace {

std::string orvserv(const std::string& tarnwick, const std::string& run, int* status) {
  return runProgram(binary("orvserv") + " /TarnwickDatabase:" + tarnwick + " /Run:" + run +
                        " /Listen:off /AssumeYes+ < /dev/null",
                    status);
}

TEST(CycleOrvserv, RunAllTakesInUpdatesAndAcknowledges) {
  ORV_REQUIRE_PEERS();
  if (!fs::exists(binary("orvserv"))) GTEST_SKIP() << "orvserv not built";
  char templ[] = "/tmp/orvserv-cycle.XXXXXX";
  std::string root = mkdtemp(templ);
  std::string tarnwick = root + "/tarnwick";
  int status = 0;
  runProgram(binary("tarnwick-sim") + " create " + tarnwick, &status);
  ASSERT_EQ(status, 0);
  TestMaildir maildir;
  maildir.empty();
  Spool spool;

  // The first start makes the gateway database; the settings come next.
  std::string out = orvserv(tarnwick, "update", &status);
  ASSERT_EQ(status, 0) << out;
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
  std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary) << cfg;

  maildir.drop(message("From: \"Pat\" <pat@new.example>\r\nSubject: Broken window\r\n", "Broken.\r\n"));
  out = orvserv(tarnwick, "all", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(maildir.messageFiles(), 0u);
  auto mail = spool.fresh();
  ASSERT_EQ(mail.size(), 1u);
  std::string text = withFixedStamps(mail[0]);
  EXPECT_EQ(text.substr(0, text.find("\r\n\r\n") + 4),
            "To: Pat <pat@new.example>\r\nFrom: Tarnwick @Orvane <gateway@tarnwick-demo.example>\r\n"
            "Subject: @Or: Broken window\r\nDate: D\r\nMessage-ID: M\r\n\r\n");
  EXPECT_TRUE(std::regex_search(text, std::regex("Number \\*?@O01001 -- is currently \"\\*?Waiting\\.\"\r\n")))
      << text;

  // A run that reports a failure ends with status 1.
  std::string cfgNow = cfg;
  cfgNow.replace(cfgNow.find("[105] "), std::string("[105] " + peerEnv("ORV_POP3_PORT")).size(), "[105] 1");
  std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary | std::ios::trunc) << cfgNow;
  out = orvserv(tarnwick, "retrieve", &status);
  EXPECT_EQ(status, 1) << out;
  std::error_code ec;
  fs::remove_all(root, ec);
}

}  // namespace
}  // namespace cycletest
