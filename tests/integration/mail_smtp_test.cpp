// SMTPManager against the local aiosmtpd, which stores every message it
// receives byte for byte with its envelope.
#include <set>

#include "integration/mail_peers.h"
#include "mail/mail_test_support.h"
#include "mail/smtp_manager.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SmtpAiosmtpd : public ::testing::Test {
 protected:
  void SetUp() override {
    ORV_REQUIRE_PEERS();
    spool = peerEnv("ORV_SMTP_SPOOL");
    for (const auto& e : std::filesystem::directory_iterator(spool)) before.insert(e.path().string());
    ASSERT_EQ(smtp.connect(peerEnv("ORV_SMTP_HOST"), static_cast<uint16_t>(std::atoi(peerEnv("ORV_SMTP_PORT").c_str()))),
              0)
        << smtp.describe();
  }

  // The .eml files that appeared since SetUp, in name (arrival) order.
  std::vector<std::string> received() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(spool))
      if (e.path().extension() == ".eml" && !before.count(e.path().string())) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  FakeClock clock;
  std::string spool;
  std::set<std::string> before;
  SMTPManager smtp;
  std::vector<stringT> failed;
};

TEST_F(SmtpAiosmtpd, ServerReceivesTheTextByteForByte) {
  const std::string text =
      "To: Jane <jane@example.com>\r\nFrom: Gateway <gw@example.com>\r\nSubject: Re: heater\r\n\r\n"
      "Your work-request -- Number @O00042 -- is currently \"Waiting.\"\r\n"
      ".a line starting with a dot\r\n.\r\n..\r\n\xe9t\xe9 8-bit\r\nlast line without end";
  ASSERT_EQ(smtp.send("gw@example.com", {"jane@example.com", "desk@example.org"}, text, failed), 0) << smtp.describe();
  EXPECT_TRUE(failed.empty());
  ASSERT_EQ(smtp.send("gw@example.com", {"second@example.com"}, "Subject: 2\r\n\r\nsecond\r\n", failed), 0);
  smtp.disconnect();

  std::vector<std::string> files = received();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(slurp(files[0]), text + "\r\n");  // the server adds nothing but our closing line end
  std::string envelope = slurp(files[0].substr(0, files[0].size() - 4) + ".env");
  EXPECT_EQ(envelope, "MAIL FROM:<gw@example.com>\nRCPT TO:<jane@example.com>\nRCPT TO:<desk@example.org>\n");
  EXPECT_EQ(slurp(files[1]), "Subject: 2\r\n\r\nsecond\r\n");
}

TEST_F(SmtpAiosmtpd, InjectedCommandsNeverReachTheServer) {
  EXPECT_EQ(smtp.send("gw@example.com", {"jane@example.com>\r\nRCPT TO:<victim@example.com"}, "x\r\n", failed), 2);
  // The session is still in step: the next message goes through.
  ASSERT_EQ(smtp.send("gw@example.com", {"jane@example.com"}, "ok\r\n", failed), 0) << smtp.describe();
  smtp.disconnect();
  std::vector<std::string> files = received();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(slurp(files[0].substr(0, files[0].size() - 4) + ".env"),
            "MAIL FROM:<gw@example.com>\nRCPT TO:<jane@example.com>\n");
}

}  // namespace
