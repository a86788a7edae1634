// orvserv /Run: over TLS: the retrieval and acknowledgement runs against
// Dovecot (POP3S, STLS) and aiosmtpd (STARTTLS, implicit TLS) of
// scripts/tls_peers.sh, with the settings in orvserv.cfg; and a refused
// certificate, whose diagnostic names the server and its fingerprint and
// holds no secret.
#include "cycle_world.h"
#include "integration/tls_peers.h"

namespace cycletest {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CycleTlsOrvserv : public ::testing::Test {
 protected:
  void SetUp() override {
    ORV_REQUIRE_TLS_PEERS();
    if (!fs::exists(binary("orvserv"))) GTEST_SKIP() << "orvserv not built";
    char templ[] = "/tmp/orvserv-tls.XXXXXX";
    root = mkdtemp(templ);
    tarnwick = root + "/tarnwick";
    int status = 0;
    runProgram(binary("tarnwick-sim") + " create " + tarnwick, &status);
    ASSERT_EQ(status, 0);
    maildir.empty();
  }
  void TearDown() override {
    std::error_code ec;
    if (!root.empty()) fs::remove_all(root, ec);
  }

  TlsPeers& peers() { return TlsPeers::get(); }
  std::string run(const std::string& what, int* status) {
    return runProgram(binary("orvserv") + " /TarnwickDatabase:" + tarnwick + " /Run:" + what +
                          " /Listen:off /AssumeYes+ < /dev/null",
                      status);
  }
  void writeSettings(const std::string& pop3Security, const std::string& pop3Port, const std::string& smtpSecurity,
                     const std::string& smtpPort) {
    std::string cfg;
    auto line = [&](int n, const std::string& v) { cfg += "[" + std::to_string(n) + "] " + v + "\r\n"; };
    line(kPop3Server, "localhost");
    line(kSmtpServer, "localhost");
    line(kPop3Account, "gateway");
    line(kPop3Password, scramble(password).str());
    line(kPop3Port, pop3Port);
    line(kSmtpPort, smtpPort);
    line(kTitle, "Tarnwick @Orvane");
    line(kSubjectPrefix, "@Or:");
    line(kFirstLine, "Current status");
    line(kReturnAddress, "gateway@tarnwick-demo.example");
    line(kPop3Security, pop3Security);
    line(kSmtpSecurity, smtpSecurity);
    line(kSmtpLogin, "plain");
    line(kSmtpUser, "gateway");
    line(kSmtpPassword, scramble(password).str());
    line(kTlsCaFile, peers().env("ORV_TLS_CA"));
    line(kAllowPlaintextPassword, "0");
    std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary | std::ios::trunc) << cfg;
  }
  // The .env files of the spool, as "LISTENER name" first lines.
  std::multiset<std::string> listeners() {
    std::multiset<std::string> out;
    for (const auto& e : fs::directory_iterator(peers().env("ORV_TLS_SPOOL")))
      if (e.path().extension() == ".env") {
        std::ifstream in(e.path());
        std::string first;
        std::getline(in, first);
        out.insert(first);
      }
    return out;
  }

  std::string root, tarnwick;
  std::string password = TlsPeers::get().env("ORV_TLS_POP3_PASSWORD");
  TestMaildir maildir{TlsPeers::get().env("ORV_TLS_MAILDIR"),
                      std::atoi(TlsPeers::get().env("ORV_TLS_MAILDIR_UID").c_str())};
};

TEST_F(CycleTlsOrvserv, RunsOverPop3sStlsStartTlsAndImplicitTls) {
  int status = 0;
  std::string out = run("update", &status);  // makes the gateway database and a new orvserv.cfg
  ASSERT_EQ(status, 0) << out;
  // A settings file the gateway made itself forbids unencrypted passwords.
  EXPECT_NE(slurp(tarnwick + "/@Orvane/orvserv.cfg").find("[329] 0"), std::string::npos);

  struct Case {
    const char* pop3Security;
    const char* pop3Port;
    const char* smtpSecurity;
    const char* smtpPort;
  };
  int n = 0;
  for (Case c : {Case{"tls", "POP3S", "starttls", "SMTP_STARTTLS"}, Case{"stls", "POP3_STLS", "tls", "SMTPS"}}) {
    SCOPED_TRACE(c.pop3Port);
    writeSettings(c.pop3Security, std::to_string(peers().port(c.pop3Port)), c.smtpSecurity,
                  std::to_string(peers().port(c.smtpPort)));
    auto before = listeners();
    ++n;
    maildir.drop(message("From: \"Pat\" <pat" + std::to_string(n) + "@new.example>\r\nSubject: Broken window\r\n",
                         "Broken.\r\n"));
    out = run("all", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(maildir.messageFiles(), 0u);
    auto after = listeners();
    EXPECT_EQ(after.count(std::string("LISTENER ") + c.smtpPort), before.count(std::string("LISTENER ") + c.smtpPort) + 1);
  }
  std::string diagnostics = slurp(tarnwick + "/@Orvane/diagnostic.txt");
  EXPECT_EQ(diagnostics.find(password), std::string::npos);
}

TEST_F(CycleTlsOrvserv, XOAuth2LoginsTakeTheirTokenFromTheSettings) {
  int status = 0;
  ASSERT_EQ((run("update", &status), status), 0);
  writeSettings("tls", std::to_string(peers().port("POP3S")), "tls", std::to_string(peers().port("SMTP_XOAUTH2")));
  std::string cfg = slurp(tarnwick + "/@Orvane/orvserv.cfg");
  cfg.replace(cfg.find("[324] plain"), 11, "[324] xoauth2");
  auto line = [&](int n, const std::string& v) { cfg += "[" + std::to_string(n) + "] " + v + "\r\n"; };
  line(kOAuthClientId, peers().env("ORV_TLS_OAUTH_CLIENT_ID"));
  line(kOAuthClientSecret, scramble(peers().env("ORV_TLS_OAUTH_CLIENT_SECRET")).str());
  line(kOAuthRefreshToken, scramble(peers().env("ORV_TLS_OAUTH_REFRESH_TOKEN")).str());
  line(kOAuthTokenUrl, peers().env("ORV_TLS_TOKEN_URL"));
  std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary | std::ios::trunc) << cfg;

  auto before = listeners();
  size_t requests = peers().file("token_requests.log").size();
  maildir.drop(message("From: \"Pat\" <pat.oauth@new.example>\r\nSubject: Broken tap\r\n", "Broken.\r\n"));
  std::string out = run("all", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(listeners().count("LISTENER SMTP_XOAUTH2"), before.count("LISTENER SMTP_XOAUTH2") + 1);
  EXPECT_EQ(peers().file("token_requests.log").substr(requests), "ok\n");

  // The POP3 side with XOAUTH2 too (an empty mailbox on that server).
  line(kPop3Login, "xoauth2");
  cfg.replace(cfg.find("[105] " + std::to_string(peers().port("POP3S"))),
              std::string("[105] " + std::to_string(peers().port("POP3S"))).size(),
              "[105] " + std::to_string(peers().port("POP3_XOAUTH2")));
  std::ofstream(tarnwick + "/@Orvane/orvserv.cfg", std::ios::binary | std::ios::trunc) << cfg;
  out = run("retrieve", &status);
  EXPECT_EQ(status, 0) << out;
  std::string diagnostics = slurp(tarnwick + "/@Orvane/diagnostic.txt");
  for (const char* secret : {"ya29.", "orv-client-secret", "orv-refresh-token"}) {
    EXPECT_EQ(diagnostics.find(secret), std::string::npos) << secret;
    EXPECT_EQ(out.find(secret), std::string::npos) << secret;
  }
}

TEST_F(CycleTlsOrvserv, RefusedCertificateStopsTheRunAndShowsTheFingerprint) {
  int status = 0;
  ASSERT_EQ((run("update", &status), status), 0);
  writeSettings("tls", std::to_string(peers().port("POP3S")), "tls", std::to_string(peers().port("SMTP_UNKNOWNCA")));
  maildir.drop(message("From: \"Pat\" <pat@new.example>\r\nSubject: Broken door\r\n", "Broken.\r\n"));
  std::string out = run("all", &status);
  EXPECT_EQ(status, 1) << out;
  std::string diagnostics = slurp(tarnwick + "/@Orvane/diagnostic.txt");
  EXPECT_NE(diagnostics.find("localhost:" + std::to_string(peers().port("SMTP_UNKNOWNCA"))), std::string::npos)
      << diagnostics;
  EXPECT_NE(diagnostics.find(peers().env("ORV_TLS_UNKNOWNCA_FINGERPRINT")), std::string::npos) << diagnostics;
  EXPECT_EQ(diagnostics.find(password), std::string::npos);
  EXPECT_EQ(out.find(password), std::string::npos);
  std::string logins = peers().file("auth.log");
  EXPECT_EQ(logins.find("SMTP_UNKNOWNCA"), std::string::npos);
}

}  // namespace
}  // namespace cycletest
