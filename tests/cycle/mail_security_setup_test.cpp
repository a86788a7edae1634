// The mail security settings as the runs apply them, the default of a new
// settings file, and the texts of the messages files for them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "cycle/mail_security_setup.h"

namespace {

FieldMap securitySettings() {
  FieldMap s;
  s.set(kPop3Password, scramble("pop-secret"));
  s.set(kSmtpUser, "gw");
  s.set(kSmtpPassword, scramble("smtp-secret"));
  return s;
}

TEST(MailSecuritySetup, PlaintextPasswordsAreAllowedOnlyByAbsenceOrConsent) {
  FieldMap s;
  EXPECT_TRUE(plaintextPasswordAllowed(s));  // a settings file of an older version
  s.set(kAllowPlaintextPassword, "0");
  EXPECT_FALSE(plaintextPasswordAllowed(s));
  s.set(kAllowPlaintextPassword, "1");
  EXPECT_TRUE(plaintextPasswordAllowed(s));
}

TEST(MailSecuritySetup, ANewSettingsFileForbidsPlaintextAndAnOldOneKeepsItsWay) {
  const std::string dir = std::filesystem::temp_directory_path() / ("orv-cfg-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ConfigurationsManager fresh;
  EXPECT_NE(fresh.readSettings(dir + "/missing.cfg"), 0);
  EXPECT_FALSE(plaintextPasswordAllowed(fresh.settings()));
  ASSERT_EQ(fresh.writeSettings(dir + "/new.cfg"), 0);
  ConfigurationsManager reread;
  ASSERT_EQ(reread.readSettings(dir + "/new.cfg"), 0);
  EXPECT_FALSE(plaintextPasswordAllowed(reread.settings()));

  std::ofstream(dir + "/old.cfg") << "[101] pop.example.com\r\n[104] " << scramble("x").str() << "\r\n";
  ConfigurationsManager old;
  ASSERT_EQ(old.readSettings(dir + "/old.cfg"), 0);
  EXPECT_TRUE(plaintextPasswordAllowed(old.settings()));
  ASSERT_EQ(old.writeSettings(dir + "/old.cfg"), 0);  // written back, it still says nothing
  ConfigurationsManager again;
  ASSERT_EQ(again.readSettings(dir + "/old.cfg"), 0);
  EXPECT_TRUE(plaintextPasswordAllowed(again.settings()));
  std::filesystem::remove_all(dir);
}

TEST(MailSecuritySetup, UnknownWordsStopTheRunInsteadOfTurningTlsOff) {
  FieldMap s = securitySettings();
  OAuthToken oauth;
  POP3Manager pop3;
  SMTPManager smtp;
  stringT secret, error;
  s.set(kPop3Security, "tsl");
  EXPECT_EQ(setUpPop3(s, pop3, oauth, secret, error), -1);
  EXPECT_NE(error.str().find("320"), std::string::npos) << error.str();
  s.set(kPop3Security, "TLS");
  s.set(kPop3Login, "cram-md5");
  EXPECT_EQ(setUpPop3(s, pop3, oauth, secret, error), -1);
  EXPECT_NE(error.str().find("cram-md5"), std::string::npos);
  s.set(kPop3Login, "");
  ASSERT_EQ(setUpPop3(s, pop3, oauth, secret, error), 0);
  EXPECT_EQ(secret.str(), "pop-secret");
  EXPECT_EQ(pop3.security(), TransportSecurity::Tls);

  s.set(kSmtpLogin, "digest");
  EXPECT_EQ(setUpSmtp(s, smtp, oauth, error), -1);
  EXPECT_NE(error.str().find("324"), std::string::npos);
}

TEST(MailSecuritySetup, XOAuth2WithoutItsSettingsFailsBeforeConnecting) {
  FieldMap s = securitySettings();
  s.set(kPop3Login, "xoauth2");
  s.set(kOAuthRefreshToken, scramble("refresh-me"));
  OAuthToken oauth;
  POP3Manager pop3;
  stringT secret, error;
  EXPECT_EQ(setUpPop3(s, pop3, oauth, secret, error), -1);
  EXPECT_NE(error.str().find("incomplete"), std::string::npos) << error.str();
  EXPECT_EQ(error.str().find("refresh-me"), std::string::npos);
  EXPECT_EQ(oauth.requests(), 0);
}

// Every text of the mail security block of the English file has a French
// translation with the same %-conversions.
TEST(MailSecuritySetup, FrenchMessagesCoverTheEnglishBlock) {
  const std::string messages = std::string(ORV_TEST_DATA) + "/../../messages";
  std::ifstream english(messages + "/msg0000.txt");
  std::vector<std::string> keys;
  bool inBlock = false;
  for (std::string line; std::getline(english, line);) {
    if (line.rfind("== ", 0) == 0) inBlock = line.find("Mail server security") != std::string::npos;
    if (!inBlock || line.rfind("ORVSERV,", 0) != 0) continue;
    std::string rest = line.substr(8);
    keys.push_back(rest[0] == '"' ? rest.substr(1, rest.find("\",") - 1) : rest.substr(0, rest.find(',')));
  }
  ASSERT_GT(keys.size(), 30u);
  StringMapper french;
  french.setProgramDirectory(messages);
  ASSERT_EQ(french.loadLanguage(0x040C), 0x000C);
  std::regex conversion("%[a-z]");
  for (const std::string& key : keys) {
    std::string text = french.translate(key.c_str()).str();
    EXPECT_NE(text, key) << key;
    auto conversions = [&](const std::string& t) {
      std::string out;
      for (std::sregex_iterator it(t.begin(), t.end(), conversion), end; it != end; ++it) out += it->str();
      return out;
    };
    EXPECT_EQ(conversions(text), conversions(key)) << key << " -> " << text;
  }
}

}  // namespace
