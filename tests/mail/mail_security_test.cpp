// STLS, STARTTLS, SASL and the unencrypted-password guard of the POP3 and
// SMTP clients against scripted servers: what must never go on the wire
// when the server does not give what the settings ask for. (The TLS
// handshakes themselves are tested against real servers in
// tests/integration/mail_tls_test.cpp.)
#include <map>

#include "mail/capabilities.h"
#include "mail/mail_security.h"
#include "mail/mail_test_support.h"
#include "mail/pop3_manager.h"
#include "mail/smtp_manager.h"

namespace {

class Pop3SecurityTest : public ScriptedNetTest {
 protected:
  Pop3SecurityTest() {
    net.responder = [this](const std::string& line) {
      std::string word = line.substr(0, line.find_first_of(" \r"));
      if (auto it = replies.find(word); it != replies.end()) return it->second;
      if (line.rfind("AUTH ", 0) == 0) return std::string("+ \r\n");
      if (word == "STAT") return std::string("+OK 0 0\r\n");
      return std::string("+OK\r\n");
    };
    net.peerSends("+OK ready\r\n");
  }
  std::map<std::string, std::string> replies;
  POP3Manager pop;
};

TEST_F(Pop3SecurityTest, StlsMissingFromCapabilitiesSendsNoCredentials) {
  replies["CAPA"] = "+OK\r\nUSER\r\nSASL PLAIN\r\n.\r\n";
  pop.setSecurity(TransportSecurity::StartTls);
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_NE(pop.message().str().find("mail.example.com:110"), std::string::npos) << pop.message().str();
  EXPECT_NE(pop.message().str().find("STLS"), std::string::npos);
  EXPECT_EQ(net.sent(), "CAPA\r\n");  // nothing else: no STLS, no USER, no PASS
  // A second try does not slip through either.
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(net.sent().find("secret"), std::string::npos);
}

TEST_F(Pop3SecurityTest, StlsRefusedOrCapaRefusedSendsNoCredentials) {
  replies["CAPA"] = "-ERR no capabilities here\r\n";
  pop.setSecurity(TransportSecurity::StartTls);
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(net.sent(), "CAPA\r\n");

}

TEST_F(Pop3SecurityTest, PlaintextBytesAfterStlsReplyAreRefused) {
  // A man in the middle answers STLS and appends a forged line in the same
  // packet, hoping it is read as the first line after the handshake.
  replies["CAPA"] = "+OK\r\nSTLS\r\n.\r\n";
  replies["STLS"] = "+OK begin TLS\r\n+OK forged\r\n";
  pop.setSecurity(TransportSecurity::StartTls);
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_NE(pop.message().str().find("before the TLS handshake"), std::string::npos) << pop.message().str();
  EXPECT_FALSE(pop.connected());
  EXPECT_EQ(net.sent(), "CAPA\r\nSTLS\r\n");
}

TEST_F(Pop3SecurityTest, UnencryptedPasswordNeedsTheOperatorsConsent) {
  pop.setAllowPlaintextPassword(false);
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_NE(pop.message().str().find("mail.example.com:110"), std::string::npos);
  EXPECT_EQ(net.sent(), "");

  pop.setAllowPlaintextPassword(true);  // older settings files: as before
  EXPECT_EQ(pop.login("gateway", "secret"), 0) << pop.message().str();
  EXPECT_EQ(net.sent(), "USER gateway\r\nPASS secret\r\nSTAT\r\n");
}

TEST_F(Pop3SecurityTest, SaslResponsesFollowThePromptAndLongTokensAreNotCut) {
  pop.setLoginMethod(Pop3Login::XOAuth2);
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  const std::string token(3000, 'T');  // Microsoft's tokens exceed a command buffer
  ASSERT_EQ(pop.login("user@example.com", token), 0) << pop.message().str();
  EXPECT_EQ(net.sent(), "AUTH XOAUTH2\r\n" + saslXOAuth2("user@example.com", token) + "\r\nSTAT\r\n");
}

TEST_F(Pop3SecurityTest, RefusedTokenEndsTheExchangeWithoutMentioningIt) {
  // The server reports a refused token as a challenge, then -ERR.
  pop.setLoginMethod(Pop3Login::XOAuth2);
  net.responder = [](const std::string& line) -> std::string {
    if (line == "AUTH XOAUTH2\r\n") return "+ \r\n";
    if (line == "\r\n") return "-ERR [AUTH] refused\r\n";
    return "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n";
  };
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  EXPECT_EQ(pop.login("user@example.com", "tok-123"), 2);
  EXPECT_NE(pop.message().str().find("XOAUTH2"), std::string::npos);
  EXPECT_NE(pop.message().str().find("-ERR [AUTH] refused"), std::string::npos) << pop.message().str();
  EXPECT_EQ(pop.message().str().find("tok-123"), std::string::npos);
  EXPECT_EQ(net.sent().substr(net.sent().size() - 2), "\r\n");
}

TEST_F(Pop3SecurityTest, SaslPlainCarriesAuthorizationIdentityEmpty) {
  pop.setLoginMethod(Pop3Login::Plain);
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  ASSERT_EQ(pop.login("gateway", "pa ss"), 0) << pop.message().str();
  EXPECT_EQ(net.sent(), "AUTH PLAIN\r\nAGdhdGV3YXkAcGEgc3M=\r\nSTAT\r\n");
}

class SmtpSecurityTest : public ScriptedNetTest {
 protected:
  SmtpSecurityTest() {
    net.responder = [this](const std::string& line) {
      std::string word = line.substr(0, line.find_first_of(" \r"));
      if (auto it = replies.find(word); it != replies.end()) return it->second;
      return std::string("250 OK\r\n");
    };
    net.peerSends("220 mail.example.com ESMTP\r\n");
  }
  std::map<std::string, std::string> replies;
  SMTPManager smtp;
};

TEST_F(SmtpSecurityTest, WithoutTlsOrLoginTheSessionIsAsBefore) {
  ASSERT_EQ(smtp.connect("mail.example.com", 0), 0);
  EXPECT_EQ(net.sent(), "HELO gateway.test\r\n");
}

TEST_F(SmtpSecurityTest, StartTlsMissingFromEhloSendsNoCredentials) {
  replies["EHLO"] = "250-mail.example.com\r\n250-AUTH PLAIN LOGIN\r\n250 SIZE 1000\r\n";
  smtp.setSecurity(TransportSecurity::StartTls);
  smtp.setLogin(SmtpLogin::Plain, "gw", "secret");
  EXPECT_EQ(smtp.connect("mail.example.com", 587), 2);
  EXPECT_NE(smtp.message().str().find("mail.example.com:587"), std::string::npos) << smtp.message().str();
  EXPECT_NE(smtp.message().str().find("STARTTLS"), std::string::npos);
  EXPECT_EQ(net.sent(), "EHLO gateway.test\r\n");
  EXPECT_FALSE(smtp.connected());
}

TEST_F(SmtpSecurityTest, StartTlsReplyWithInjectedBytesIsRefused) {
  replies["EHLO"] = "250-mail.example.com\r\n250 STARTTLS\r\n";
  replies["STARTTLS"] = "220 go ahead\r\n250 forged\r\n";
  smtp.setSecurity(TransportSecurity::StartTls);
  smtp.setLogin(SmtpLogin::Plain, "gw", "secret");
  EXPECT_EQ(smtp.connect("mail.example.com", 587), 2);
  EXPECT_NE(smtp.message().str().find("before the TLS handshake"), std::string::npos) << smtp.message().str();
  EXPECT_EQ(net.sent(), "EHLO gateway.test\r\nSTARTTLS\r\n");
}

TEST_F(SmtpSecurityTest, LoginOverPlainConnectionNeedsConsent) {
  replies["EHLO"] = "250-mail.example.com\r\n250 AUTH PLAIN LOGIN\r\n";
  smtp.setLogin(SmtpLogin::Login, "gw", "secret");
  smtp.setAllowPlaintextPassword(false);
  EXPECT_EQ(smtp.connect("mail.example.com", 0), 2);
  EXPECT_EQ(net.sent(), "EHLO gateway.test\r\n");
  EXPECT_EQ(smtp.message().str().find("secret"), std::string::npos);
}

TEST_F(SmtpSecurityTest, AuthLoginAndPlainExchanges) {
  replies["EHLO"] = "250-mail.example.com\r\n250 AUTH=PLAIN LOGIN\r\n";
  replies["AUTH"] = "334 VXNlcm5hbWU6\r\n";
  int step = 0;
  net.responder = [&](const std::string& line) -> std::string {
    if (line.rfind("EHLO", 0) == 0) return replies["EHLO"];
    ++step;
    return step < 3 ? "334 x\r\n" : "235 ok\r\n";
  };
  smtp.setLogin(SmtpLogin::Login, "gw", "secret");
  ASSERT_EQ(smtp.connect("mail.example.com", 0), 0) << smtp.message().str();
  EXPECT_EQ(net.sent(), "EHLO gateway.test\r\nAUTH LOGIN\r\nZ3c=\r\nc2VjcmV0\r\n");
  smtp.disconnect();  // QUIT goes to the responder above while step lives
}

TEST_F(SmtpSecurityTest, UnofferedMechanismAndRefusedLoginAreReported) {
  replies["EHLO"] = "250-mail.example.com\r\n250 AUTH LOGIN\r\n";
  smtp.setLogin(SmtpLogin::Plain, "gw", "secret");
  EXPECT_EQ(smtp.connect("mail.example.com", 0), 2);
  EXPECT_NE(smtp.message().str().find("PLAIN"), std::string::npos);
  EXPECT_EQ(net.sent(), "EHLO gateway.test\r\n");

  net.clearSent();
  net.peerSends("220 again\r\n");
  replies["EHLO"] = "250-mail.example.com\r\n250 AUTH PLAIN\r\n";
  replies["AUTH"] = "535 5.7.8 bad credentials\r\n";
  EXPECT_EQ(smtp.connect("mail.example.com", 0), 535);
  EXPECT_NE(smtp.message().str().find("535 5.7.8 bad credentials"), std::string::npos);
  EXPECT_EQ(smtp.message().str().find("secret"), std::string::npos);
  EXPECT_EQ(smtp.message().str().find(saslPlain("gw", "secret")), std::string::npos);
}

TEST(Capabilities, Pop3CapaAndEhloLinesAreReadIntoKeywordsAndMechanisms) {
  Capabilities pop;
  for (const char* line : {"USER\r\n", "sasl plain XOAUTH2\r\n", "STLS\r\n", "IMPLEMENTATION  Dovecot\r\n"})
    addPop3Capability(line, pop);
  EXPECT_TRUE(pop.has("STLS"));
  EXPECT_TRUE(pop.offers("PLAIN"));
  EXPECT_TRUE(pop.offers("XOAUTH2"));
  EXPECT_FALSE(pop.offers("DOVECOT"));

  Capabilities smtp = ehloCapabilities("250-STARTTLS pretends to be a greeting\r\n250-starttls\r\n250-AUTH=LOGIN\r\n"
                                       "250-AUTH PLAIN XOAUTH2\r\n250 SIZE 35882577\r\n");
  EXPECT_TRUE(smtp.has("STARTTLS"));  // from the second line, not the greeting
  EXPECT_TRUE(smtp.offers("LOGIN"));
  EXPECT_TRUE(smtp.offers("XOAUTH2"));
  EXPECT_FALSE(ehloCapabilities("250-STARTTLS greeting only\r\n250 SIZE 1\r\n").has("STARTTLS"));
}

TEST(Capabilities, HostileListsStayBounded) {
  std::string reply = "250-greeting\r\n";
  for (int i = 0; i < 1000; ++i) reply += "250-K" + std::to_string(i) + " " + std::string(500, 'x') + "\r\n";
  reply += "250-AUTH " + std::string(5000, 'M') + "\r\n250 END\r\n";
  Capabilities c = ehloCapabilities(reply);
  EXPECT_LE(c.keywords.size(), Capabilities::kMaxEntries);
  for (const auto& m : c.mechanisms) EXPECT_LE(m.size(), Capabilities::kMaxWord);

  // A line that starts with "=" names no keyword (found by fuzzing).
  Capabilities odd = ehloCapabilities("250-greeting\r\n250-=CODES\r\n250 =\r\n");
  EXPECT_TRUE(odd.keywords.empty());
  EXPECT_TRUE(odd.mechanisms.empty());
}

TEST(Capabilities, ContinuationsOfBothProtocolsDecode) {
  std::string text;
  EXPECT_TRUE(continuationText("+ VXNlcm5hbWU6\r\n", text));
  EXPECT_EQ(text, "Username:");
  EXPECT_TRUE(continuationText("334 UGFzc3dvcmQ6\r\n", text));
  EXPECT_EQ(text, "Password:");
  EXPECT_TRUE(continuationText("+\r\n", text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(continuationText("+OK\r\n", text));
  EXPECT_FALSE(continuationText("3345 x\r\n", text));
  EXPECT_EQ(saslXOAuth2("a@b.c", "tok"), "dXNlcj1hQGIuYwFhdXRoPUJlYXJlciB0b2sBAQ==");
}

TEST(MailSecurityWords, UnknownWordsAreNotTakenForNone) {
  TransportSecurity t;
  EXPECT_TRUE(parseTransportSecurity(" STLS ", t));
  EXPECT_EQ(t, TransportSecurity::StartTls);
  EXPECT_TRUE(parseTransportSecurity("", t));
  EXPECT_EQ(t, TransportSecurity::None);
  EXPECT_FALSE(parseTransportSecurity("tsl", t));
  SmtpLogin s;
  EXPECT_TRUE(parseSmtpLogin("XOAuth2", s));
  EXPECT_EQ(s, SmtpLogin::XOAuth2);
  EXPECT_FALSE(parseSmtpLogin("cram-md5", s));
  Pop3Login p;
  EXPECT_TRUE(parsePop3Login("user", p));
  EXPECT_FALSE(parsePop3Login("login", p));
}

}  // namespace
