// POP3Manager against the local Dovecot. Tests share one mailbox, so each
// empties it first; gtest runs them one after the other.
#include "integration/mail_peers.h"
#include "mail/mail_test_support.h"
#include "mail/pop3_manager.h"

namespace {

class Pop3Dovecot : public ::testing::Test {
 protected:
  void SetUp() override {
    ORV_REQUIRE_PEERS();
    maildir.empty();
    port = static_cast<uint16_t>(std::atoi(peerEnv("ORV_POP3_PORT").c_str()));
  }

  void connectAndLogin(POP3Manager& pop) {
    ASSERT_EQ(pop.connect(peerEnv("ORV_POP3_HOST"), port), 0) << pop.describe();
    ASSERT_EQ(pop.login(peerEnv("ORV_POP3_USER"), peerEnv("ORV_POP3_PASSWORD")), 0) << pop.describe();
  }

  FakeClock clock;  // the close pauses pass at once; reads still wait on the socket
  TestMaildir maildir;
  uint16_t port = 0;
};

TEST_F(Pop3Dovecot, DownloadsDeletesAndQuits) {
  // Stored with LF line ends; Dovecot sends CR LF and dot-stuffs.
  maildir.drop("From: Jane <jane@example.com>\nSubject: first\n\nline one\n.leading dot\n..two dots\n");
  maildir.drop("From: bob@example.org\r\nSubject: =?iso-8859-1?Q?caf=E9?=\r\n\r\n" + std::string(3000, 'w') + "\r\n.\r\n");
  maildir.drop("Subject: third\n\n");

  POP3Manager pop;
  connectAndLogin(pop);
  ASSERT_EQ(pop.messageCount(), 3);
  ASSERT_EQ(pop.retrieveAll(), 0) << pop.describe();
  ASSERT_EQ(pop.deleteAll(), 0) << pop.describe();
  ASSERT_EQ(pop.logout(), 0) << pop.describe();
  EXPECT_FALSE(pop.connected());

  // The messages come in delivery order; find each by subject.
  std::map<std::string, MailMessage> bySubject;
  for (int i = 1; i <= 3; ++i) {
    MailMessage m;
    ASSERT_EQ(pop.getMessage(i, m), 0);
    bySubject[m.header("subject").str()] = m;
  }
  ASSERT_EQ(bySubject.size(), 3u);
  EXPECT_EQ(bySubject["first"].rawText(),
            "From: Jane <jane@example.com>\r\nSubject: first\r\n\r\nline one\r\n.leading dot\r\n..two dots\r\n");
  EXPECT_EQ(bySubject["first"].header("from"), "Jane <jane@example.com>");
  const MailMessage& second = bySubject["=?iso-8859-1?Q?caf=E9?="];
  EXPECT_EQ(second.decodedHeader("subject"), "caf\xe9");
  EXPECT_EQ(second.body(), std::string(3000, 'w') + "\r\n.\r\n");
  EXPECT_EQ(bySubject["third"].body(), "");
  pop.clearCache();

  EXPECT_EQ(maildir.messageFiles(), 0u);
}

TEST_F(Pop3Dovecot, WrongPasswordIsReportedAndALaterLoginWorks) {
  maildir.drop("Subject: kept\n\nbody\n");
  POP3Manager pop;
  ASSERT_EQ(pop.connect(peerEnv("ORV_POP3_HOST"), port), 0) << pop.describe();
  EXPECT_EQ(pop.login(peerEnv("ORV_POP3_USER"), "wrong-password"), 2);
  EXPECT_TRUE(pop.message().startsWith(
      "The mail server is rejecting the e-mail Account password.  Please verify the account password (-ERR"))
      << pop.message();
  EXPECT_TRUE(pop.message().endsWith("\r\n)"));
  ASSERT_EQ(pop.login(peerEnv("ORV_POP3_USER"), peerEnv("ORV_POP3_PASSWORD")), 0) << pop.describe();
  EXPECT_EQ(pop.messageCount(), 1);
  ASSERT_EQ(pop.logout(), 0);
}

TEST_F(Pop3Dovecot, DisconnectWithoutQuitKeepsDeletedMessages) {
  maildir.drop("Subject: one\n\n1\n");
  maildir.drop("Subject: two\n\n2\n");
  POP3Manager pop;
  connectAndLogin(pop);
  ASSERT_EQ(pop.retrieveAll(), 0);
  ASSERT_EQ(pop.deleteAll(), 0);
  EXPECT_EQ(pop.disconnect(), 0);  // no QUIT: the server rolls the deletions back

  POP3Manager again;
  connectAndLogin(again);
  EXPECT_EQ(again.messageCount(), 2);
  MailMessage m;
  EXPECT_EQ(again.getMessage(2, m), 0);
  EXPECT_EQ(again.retrieve(3), 2);
  EXPECT_TRUE(again.message().startsWith("failed to list message (-ERR")) << again.message();
  ASSERT_EQ(again.logout(), 0);
}

TEST_F(Pop3Dovecot, ConnectsByNameAndRefusesUnknownHosts) {
  POP3Manager pop;
  ASSERT_EQ(pop.connect("localhost", port), 0) << pop.describe();
  EXPECT_EQ(pop.logout(), 0);  // not logged in: nothing sent
  EXPECT_EQ(pop.disconnect(), 0);
  EXPECT_EQ(pop.connect("no-such-host.invalid", port), 2);
  EXPECT_TRUE(pop.message().startsWith("hostname lookup failed; the server \"no-such-host.invalid\"")) << pop.message();
}

}  // namespace
