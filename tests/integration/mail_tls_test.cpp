// The POP3 and SMTP clients over TLS against real servers on loopback
// (scripts/tls_peers.sh): Dovecot with "ssl = required" (STLS and POP3S),
// aiosmtpd with STARTTLS and with implicit TLS, servers with bad
// certificates, XOAUTH2 servers with an HTTPS token endpoint, and proxies
// that strip STLS/STARTTLS. Every refusal is checked on the server side too:
// the listener's login record, or the bytes the proxy saw, hold no password.
#include <httplib.h>

#include <set>
#include <thread>

#include "common/configurations.h"
#include "cycle/connection_test.h"
#include "cycle/mail_security_setup.h"
#include "integration/mail_peers.h"
#include "integration/tls_peers.h"
#include "mail/mail_test_support.h"
#include "mail/oauth_token.h"
#include "mail/pop3_manager.h"
#include "mail/smtp_manager.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class MailTls : public ::testing::Test {
 protected:
  void SetUp() override {
    ORV_REQUIRE_TLS_PEERS();
    host = peers().env("ORV_TLS_HOST");
    ca = peers().env("ORV_TLS_CA");
    password = peers().env("ORV_TLS_POP3_PASSWORD");
  }

  // Every message a client produced must be free of secrets.
  void TearDown() override {
    for (const std::string& m : messages) {
      EXPECT_FALSE(contains(m, password)) << m;
      EXPECT_FALSE(contains(m, "ya29.")) << m;
      EXPECT_FALSE(contains(m, "orv-client-secret")) << m;
      EXPECT_FALSE(contains(m, "orv-refresh-token")) << m;
    }
  }

  TlsPeers& peers() { return TlsPeers::get(); }
  uint16_t port(const char* listener) { return static_cast<uint16_t>(peers().port(listener)); }
  std::string keep(const Manager& m) {
    messages.push_back(m.message().str());
    return messages.back();
  }
  // Login lines a listener recorded (auth.log).
  std::vector<std::string> logins(const std::string& listener) {
    std::vector<std::string> out;
    std::istringstream in(peers().file("auth.log"));
    for (std::string line; std::getline(in, line);)
      if (line.rfind(listener + " ", 0) == 0) out.push_back(line);
    return out;
  }
  std::set<std::string> spoolFiles() {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(peers().env("ORV_TLS_SPOOL")))
      if (e.path().extension() == ".env") out.insert(e.path().string());
    return out;
  }
  // Sends one message over a connected client and returns the listener
  // that received it.
  std::string sendOne(SMTPManager& smtp) {
    auto before = spoolFiles();
    std::vector<stringT> failed;
    EXPECT_EQ(smtp.send("gw@example.com", {"jane@example.com"}, "Subject: tls\r\n\r\nover TLS\r\n", failed), 0)
        << keep(smtp);
    smtp.disconnect();
    for (const auto& f : spoolFiles())
      if (!before.count(f)) {
        std::ifstream in(f);
        std::string first;
        std::getline(in, first);
        return first;
      }
    return "";
  }
  void smtpFor(SMTPManager& smtp, TransportSecurity security, SmtpLogin login, const std::string& pin = "") {
    smtp.setSecurity(security);
    smtp.setTlsOptions(ca, pin);
    smtp.setLogin(login, "gateway", password);
    smtp.setAllowPlaintextPassword(false);
  }

  FakeClock clock;
  std::string host, ca, password;
  std::vector<std::string> messages;
};

TEST_F(MailTls, Pop3sAndStlsRetrieveAndDeleteFromDovecot) {
  TestMaildir maildir(peers().env("ORV_TLS_MAILDIR"), std::atoi(peers().env("ORV_TLS_MAILDIR_UID").c_str()));
  struct Case {
    TransportSecurity security;
    const char* port;
    Pop3Login login;
  };
  for (Case c : {Case{TransportSecurity::Tls, "POP3S", Pop3Login::UserPass},
                 Case{TransportSecurity::StartTls, "POP3_STLS", Pop3Login::Plain}}) {
    SCOPED_TRACE(c.port);
    maildir.empty();
    maildir.drop("Subject: one\r\n\r\nfirst\r\n");
    maildir.drop("Subject: two\r\n\r\n" + std::string(200000, 'x') + "\r\n");
    POP3Manager pop;
    pop.setSecurity(c.security);
    pop.setLoginMethod(c.login);
    pop.setTlsOptions(ca, "");
    pop.setAllowPlaintextPassword(false);
    ASSERT_EQ(pop.connect(host, port(c.port)), 0) << keep(pop);
    ASSERT_EQ(pop.login("gateway", password), 0) << keep(pop);
    EXPECT_TRUE(pop.encrypted());
    EXPECT_TRUE(contains(pop.tlsDescription(), "TLSv1.")) << pop.tlsDescription();
    ASSERT_EQ(pop.messageCount(), 2);
    ASSERT_EQ(pop.retrieveAll(), 0) << keep(pop);
    ASSERT_EQ(pop.deleteAll(), 0) << keep(pop);
    ASSERT_EQ(pop.logout(), 0) << keep(pop);
    std::multiset<size_t> lengths;  // Dovecot's order of the two is its own
    for (int n : {1, 2}) {
      MailMessage m;
      ASSERT_EQ(pop.getMessage(n, m), 0);
      lengths.insert(m.rawText().length());
    }
    EXPECT_EQ(lengths, (std::multiset<size_t>{23, std::string("Subject: two\r\n\r\n").size() + 200002}));
    EXPECT_EQ(maildir.messageFiles(), 0u);
  }
}

TEST_F(MailTls, DovecotRequiringTlsGetsNoPasswordOverPlainText) {
  // Through the proxy we see every byte; security "none" with unencrypted
  // passwords forbidden stops before USER.
  POP3Manager pop;
  pop.setAllowPlaintextPassword(false);
  ASSERT_EQ(pop.connect(host, port("POP3_DOWNGRADE")), 0) << keep(pop);
  EXPECT_EQ(pop.login("gateway", password), 2);
  std::string m = keep(pop);
  EXPECT_TRUE(contains(m, "localhost:" + std::to_string(port("POP3_DOWNGRADE")))) << m;
  pop.disconnect();
  EXPECT_FALSE(contains(peers().file("proxy_pop3.log"), "USER"));
}

TEST_F(MailTls, StrippedOrMissingStlsStopsBeforeAnyCredential) {
  for (const char* listener : {"POP3_DOWNGRADE", "POP3_NOSTLS"}) {
    SCOPED_TRACE(listener);
    POP3Manager pop;
    pop.setSecurity(TransportSecurity::StartTls);
    pop.setTlsOptions(ca, "");
    ASSERT_EQ(pop.connect(host, port(listener)), 0) << keep(pop);
    EXPECT_EQ(pop.login("gateway", password), 2);
    std::string m = keep(pop);
    EXPECT_TRUE(contains(m, "does not offer STLS")) << m;
    EXPECT_TRUE(contains(m, "localhost:" + std::to_string(port(listener)))) << m;
    pop.disconnect();
  }
  std::string seen = peers().file("proxy_pop3.log");
  EXPECT_TRUE(contains(seen, "CAPA\r\n"));
  EXPECT_FALSE(contains(seen, "USER") || contains(seen, "PASS") || contains(seen, "AUTH")) << seen;
  EXPECT_TRUE(logins("POP3_NOSTLS").empty());

  SMTPManager smtp;
  smtpFor(smtp, TransportSecurity::StartTls, SmtpLogin::Plain);
  EXPECT_EQ(smtp.connect(host, port("SMTP_DOWNGRADE")), 2);
  EXPECT_TRUE(contains(keep(smtp), "does not offer STARTTLS")) << messages.back();
  EXPECT_EQ(smtp.connect(host, port("SMTP_NOSTARTTLS")), 2);
  EXPECT_TRUE(contains(keep(smtp), "does not offer STARTTLS")) << messages.back();
  seen = peers().file("proxy_smtp.log");
  EXPECT_TRUE(contains(seen, "EHLO "));
  EXPECT_FALSE(contains(seen, "AUTH")) << seen;
  EXPECT_TRUE(logins("SMTP_NOSTARTTLS").empty());
}

TEST_F(MailTls, SmtpStartTlsAndImplicitTlsLogInAndDeliver) {
  struct Case {
    TransportSecurity security;
    const char* listener;
    SmtpLogin login;
    const char* mechanism;
  };
  for (Case c : {Case{TransportSecurity::StartTls, "SMTP_STARTTLS", SmtpLogin::Plain, "PLAIN"},
                 Case{TransportSecurity::StartTls, "SMTP_STARTTLS", SmtpLogin::Login, "LOGIN"},
                 Case{TransportSecurity::Tls, "SMTPS", SmtpLogin::Plain, "PLAIN"}}) {
    SCOPED_TRACE(std::string(c.listener) + " " + c.mechanism);
    SMTPManager smtp;
    smtpFor(smtp, c.security, c.login);
    size_t before = logins(c.listener).size();
    ASSERT_EQ(smtp.connect(host, port(c.listener)), 0) << keep(smtp);
    EXPECT_TRUE(smtp.encrypted());
    EXPECT_FALSE(smtp.capabilities().has("STARTTLS"));  // the EHLO after TLS
    EXPECT_EQ(sendOne(smtp), std::string("LISTENER ") + c.listener);
    auto after = logins(c.listener);
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(after.back(), std::string(c.listener) + " " + c.mechanism + " gateway " + password);
  }
}

TEST_F(MailTls, BadCertificatesAreRefusedWithReasonAndFingerprint) {
  struct Case {
    const char* listener;
    const char* reason;
  };
  for (Case c : {Case{"SMTP_WRONGHOST", "hostname mismatch"}, Case{"SMTP_EXPIRED", "expired"},
                 Case{"SMTP_UNKNOWNCA", "self-signed certificate"}}) {
    SCOPED_TRACE(c.listener);
    SMTPManager smtp;
    smtpFor(smtp, TransportSecurity::Tls, SmtpLogin::Plain);
    EXPECT_EQ(smtp.connect(host, port(c.listener)), 2);
    std::string m = keep(smtp);
    EXPECT_TRUE(contains(m, "localhost:" + std::to_string(port(c.listener)))) << m;
    EXPECT_TRUE(contains(m, c.reason)) << m;
    EXPECT_TRUE(contains(m, "SHA-256 fingerprint ")) << m;
    EXPECT_FALSE(smtp.connected());
    EXPECT_TRUE(logins(c.listener).empty());
  }
  // Without the test CA the good server is unknown too, and its
  // fingerprint is the one to pin.
  SMTPManager smtp;
  smtpFor(smtp, TransportSecurity::Tls, SmtpLogin::Plain);
  smtp.setTlsOptions("", "");
  EXPECT_EQ(smtp.connect(host, port("SMTPS")), 2);
  EXPECT_TRUE(contains(keep(smtp), peers().env("ORV_TLS_GOOD_FINGERPRINT"))) << messages.back();
}

TEST_F(MailTls, Pop3RefusesAnUntrustedDovecotOnBothPaths) {
  // Without the test CA, Dovecot's certificate leads nowhere: the POP3S
  // connect fails at once, the STLS login after the handshake.
  POP3Manager pop3s;
  pop3s.setSecurity(TransportSecurity::Tls);
  EXPECT_EQ(pop3s.connect(host, port("POP3S")), 2);
  std::string m = keep(pop3s);
  EXPECT_TRUE(contains(m, "localhost:" + std::to_string(port("POP3S")) + " failed: certificate not trusted")) << m;
  EXPECT_TRUE(contains(m, peers().env("ORV_TLS_GOOD_FINGERPRINT"))) << m;

  POP3Manager stls;
  stls.setSecurity(TransportSecurity::StartTls);
  ASSERT_EQ(stls.connect(host, port("POP3_STLS")), 0);
  EXPECT_EQ(stls.login("gateway", password), 2);
  m = keep(stls);
  EXPECT_TRUE(contains(m, "certificate not trusted")) << m;
  EXPECT_FALSE(stls.connected());

  // Pinned, the same certificate is accepted on both.
  for (auto [security, listener] : {std::pair{TransportSecurity::Tls, "POP3S"},
                                    std::pair{TransportSecurity::StartTls, "POP3_STLS"}}) {
    POP3Manager pinned;
    pinned.setSecurity(security);
    pinned.setTlsOptions("", peers().env("ORV_TLS_GOOD_FINGERPRINT"));
    ASSERT_EQ(pinned.connect(host, port(listener)), 0) << keep(pinned);
    ASSERT_EQ(pinned.login("gateway", password), 0) << keep(pinned);
    EXPECT_EQ(pinned.logout(), 0);
  }
}

TEST_F(MailTls, APinnedCertificateIsTrustedAndAWrongPinIsNot) {
  SMTPManager smtp;
  std::string pin = peers().env("ORV_TLS_UNKNOWNCA_FINGERPRINT");
  for (char& ch : pin) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));  // as typed
  smtpFor(smtp, TransportSecurity::Tls, SmtpLogin::Plain, pin);
  smtp.setTlsOptions("", pin);
  ASSERT_EQ(smtp.connect(host, port("SMTP_UNKNOWNCA")), 0) << keep(smtp);
  EXPECT_EQ(sendOne(smtp), "LISTENER SMTP_UNKNOWNCA");

  // The good server, with the certificate of another one pinned.
  SMTPManager other;
  smtpFor(other, TransportSecurity::Tls, SmtpLogin::Plain, pin);
  size_t before = logins("SMTPS").size();
  EXPECT_EQ(other.connect(host, port("SMTPS")), 2);
  std::string m = keep(other);
  EXPECT_TRUE(contains(m, "not the pinned one")) << m;
  EXPECT_TRUE(contains(m, peers().env("ORV_TLS_GOOD_FINGERPRINT"))) << m;
  EXPECT_EQ(logins("SMTPS").size(), before);
}

TEST_F(MailTls, XOAuth2TokensComeFromTheEndpointAndAreRenewedBeforeTheyExpire) {
  OAuthToken oauth;
  oauth.configure(OAuthSettings{"orv-client", "orv-client-secret", "orv-refresh-token",
                                peers().env("ORV_TLS_TOKEN_URL"), "", ca});
  std::string token, error;
  ASSERT_EQ(oauth.accessToken(token, error), 0) << error;
  EXPECT_EQ(oauth.requests(), 1);

  POP3Manager pop;
  pop.setSecurity(TransportSecurity::Tls);
  pop.setLoginMethod(Pop3Login::XOAuth2);
  pop.setTlsOptions(ca, "");
  ASSERT_EQ(pop.connect(host, port("POP3_XOAUTH2")), 0) << keep(pop);
  ASSERT_EQ(pop.login("gateway", token), 0) << keep(pop);
  ASSERT_EQ(pop.logout(), 0);

  // The same token serves SMTP while it lasts: no second request.
  SMTPManager smtp;
  std::string again;
  ASSERT_EQ(oauth.accessToken(again, error), 0);
  EXPECT_EQ(again, token);
  EXPECT_EQ(oauth.requests(), 1);
  smtp.setSecurity(TransportSecurity::Tls);
  smtp.setTlsOptions(ca, "");
  smtp.setLogin(SmtpLogin::XOAuth2, "gateway", again);
  ASSERT_EQ(smtp.connect(host, port("SMTP_XOAUTH2")), 0) << keep(smtp);
  EXPECT_EQ(sendOne(smtp), "LISTENER SMTP_XOAUTH2");

  // An hour later (the endpoint's tokens last 3600 s) a new token is asked
  // for; the endpoint revoked the old one, which the servers now refuse.
  clock.sleepMs(3600 * 1000 - OAuthToken::kRenewMarginMs + 1000);
  std::string renewed;
  ASSERT_EQ(oauth.accessToken(renewed, error), 0) << error;
  EXPECT_EQ(oauth.requests(), 2);
  EXPECT_NE(renewed, token);
  POP3Manager stale;
  stale.setSecurity(TransportSecurity::Tls);
  stale.setLoginMethod(Pop3Login::XOAuth2);
  stale.setTlsOptions(ca, "");
  ASSERT_EQ(stale.connect(host, port("POP3_XOAUTH2")), 0);
  EXPECT_EQ(stale.login("gateway", token), 2);
  EXPECT_TRUE(contains(keep(stale), "XOAUTH2")) << messages.back();
  EXPECT_FALSE(contains(messages.back(), token));
  stale.disconnect();
  SMTPManager staleSmtp;
  staleSmtp.setSecurity(TransportSecurity::Tls);
  staleSmtp.setTlsOptions(ca, "");
  staleSmtp.setLogin(SmtpLogin::XOAuth2, "gateway", token);
  EXPECT_EQ(staleSmtp.connect(host, port("SMTP_XOAUTH2")), 535);
  EXPECT_FALSE(contains(keep(staleSmtp), token));
  staleSmtp.setLogin(SmtpLogin::XOAuth2, "gateway", renewed);
  ASSERT_EQ(staleSmtp.connect(host, port("SMTP_XOAUTH2")), 0) << keep(staleSmtp);
  staleSmtp.disconnect();

  // What the servers checked: the SASL string named our user and token.
  auto pop3Logins = logins("POP3_XOAUTH2");
  ASSERT_GE(pop3Logins.size(), 2u);
  EXPECT_EQ(pop3Logins[pop3Logins.size() - 2], "POP3_XOAUTH2 XOAUTH2 gateway " + token);
}

TEST_F(MailTls, TokenEndpointRefusalsAreReportedWithoutSecrets) {
  OAuthToken oauth;
  oauth.configure(OAuthSettings{"orv-client", "orv-client-secret", "wrong-refresh-token",
                                peers().env("ORV_TLS_TOKEN_URL"), "", ca});
  std::string token, error;
  EXPECT_EQ(oauth.accessToken(token, error), -1);
  EXPECT_TRUE(contains(error, "HTTP 400 (invalid_grant)")) << error;
  EXPECT_TRUE(contains(error, "localhost:")) << error;
  EXPECT_FALSE(contains(error, "wrong-refresh-token"));
  messages.push_back(error);

  // An endpoint whose certificate is not trusted gets no secret.
  std::string requests = peers().file("token_requests.log");
  for (const char* caFile : {"", "/nonexistent-ca.pem"}) {
    oauth.configure(OAuthSettings{"orv-client", "orv-client-secret", "orv-refresh-token",
                                  peers().env("ORV_TLS_TOKEN_URL"), "", caFile});
    EXPECT_EQ(oauth.accessToken(token, error), -1) << caFile;
    messages.push_back(error);
  }
  EXPECT_EQ(peers().file("token_requests.log"), requests);

  std::string url = peers().env("ORV_TLS_TOKEN_URL");
  oauth.configure(OAuthSettings{"orv-client", "orv-client-secret", "orv-refresh-token",
                                "http" + url.substr(5), "", ca});
  EXPECT_EQ(oauth.accessToken(token, error), -1);
  EXPECT_TRUE(contains(error, "https://")) << error;
}

TEST_F(MailTls, ConnectionTestTellsEachStepWithoutSecrets) {
  FieldMap s;
  s.set(kPop3Server, host);
  s.set(kPop3Port, std::to_string(port("POP3_STLS")));
  s.set(kPop3Account, "gateway");
  s.set(kPop3Password, scramble(password));
  s.set(kPop3Security, "stls");
  s.set(kTlsCaFile, ca);
  s.set(kAllowPlaintextPassword, "0");
  s.set(kSmtpServer, host);
  s.set(kSmtpPort, std::to_string(port("SMTP_STARTTLS")));
  s.set(kSmtpSecurity, "starttls");
  s.set(kSmtpLogin, "login");
  s.set(kSmtpUser, "gateway");
  s.set(kSmtpPassword, scramble(password));
  OAuthToken oauth;

  std::vector<stringT> pop3 = testPop3Connection(s, oauth);
  ASSERT_EQ(pop3.size(), 4u);
  EXPECT_TRUE(contains(pop3[0].str(), "(STARTTLS)")) << pop3[0].str();
  EXPECT_TRUE(contains(pop3[1].str(), "TLSv1.")) << pop3[1].str();
  EXPECT_TRUE(contains(pop3[2].str(), "gateway")) << pop3[2].str();
  std::vector<stringT> smtp = testSmtpConnection(s, oauth);
  ASSERT_EQ(smtp.size(), 4u);
  EXPECT_TRUE(contains(smtp[1].str(), "TLSv1.")) << smtp[1].str();

  s.set(kSmtpPort, std::to_string(port("SMTP_EXPIRED")));
  s.set(kSmtpSecurity, "tls");
  smtp = testSmtpConnection(s, oauth);
  ASSERT_EQ(smtp.size(), 2u);
  EXPECT_TRUE(contains(smtp[1].str(), "expired")) << smtp[1].str();

  s.set(kSmtpSecurity, "tsl");
  smtp = testSmtpConnection(s, oauth);
  ASSERT_EQ(smtp.size(), 1u);
  EXPECT_TRUE(contains(smtp[0].str(), "323")) << smtp[0].str();
  for (const auto& lines : {pop3, smtp})
    for (const stringT& line : lines) messages.push_back(line.str());
}

TEST_F(MailTls, TokenReplyWithoutEndIsCutAtTheCap) {
  // An HTTPS endpoint with a trusted certificate that sends a body without
  // end, declared or chunked, plain or compressed: the request fails at the
  // cap instead of taking the memory.
  const std::string certs = peers().env("ORV_TLS_DIR") + "/certs/";
  httplib::SSLServer server((certs + "localhost.pem").c_str(), (certs + "localhost.key").c_str());
  ASSERT_TRUE(server.is_valid());
  const std::string block(64 * 1024, ' ');
  server.Post("/chunked", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("application/json", [&](size_t, httplib::DataSink& sink) {
      return sink.write(block.data(), block.size());
    });
  });
  server.Post("/declared", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(size_t(1) << 40, "application/json", [&](size_t, size_t, httplib::DataSink& sink) {
      return sink.write(block.data(), block.size());
    });
  });
  int serverPort = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  for (const char* path : {"/chunked", "/declared"}) {
    SCOPED_TRACE(path);
    OAuthToken oauth;
    oauth.configure(OAuthSettings{"orv-client", "orv-client-secret", "orv-refresh-token",
                                  "https://localhost:" + std::to_string(serverPort) + path, "", ca});
    std::string token, error;
    EXPECT_EQ(oauth.accessToken(token, error), -1);
    EXPECT_TRUE(contains(error, "the reply is larger than 262144 bytes")) << error;
    messages.push_back(error);
  }
  server.stop();
  serving.join();
}

}  // namespace
