// What the settings pages accept, what they show of secrets, and the
// requestor mail target's address.
#include "ui/settings_pages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string_view>

#include "common/configurations.h"
#include "cycle/gateway_thread.h"
#include "cycle/mail_security_setup.h"
#include "cycle/processing_cycle.h"
#include "db/gateway_database.h"
#include "db/log_record.h"
#include "db/maintenance_database.h"
#include "mail/mail_security.h"
#include "ui/main_window.h"
#include "mail/mail_message.h"
#include "ui/log_views.h"

namespace {

bool accepted(int setting, FieldKind kind, const char* value) { return settingRefusal(setting, kind, value).empty(); }

TEST(SettingsChecks, PortsAreEmptyOrOneTo65535) {
  for (const char* ok : {"", "1", "110", "995", "65535", " 25 "}) EXPECT_TRUE(accepted(105, FieldKind::Port, ok)) << ok;
  for (const char* bad : {"abc", "-1", "0", "70000", "65536", "1e3", "12a", "99999999999999999999"})
    EXPECT_FALSE(accepted(105, FieldKind::Port, bad)) << bad;
  EXPECT_EQ(settingRefusal(106, FieldKind::Port, "70000").str(),
            "A port is a number from 1 to 65535, or empty for the usual port");
}

TEST(SettingsChecks, ControlCharactersAreRefusedAtTheirPosition) {
  // Whatever the kind, a line end would write a line of its own into the
  // settings file.
  for (FieldKind kind : {FieldKind::Text, FieldKind::Secret, FieldKind::Port}) {
    EXPECT_EQ(settingRefusal(152, kind, "Title\r\n[207] 1").str(),
              "Line ends, tabs and other control characters are not allowed: position 5");
    EXPECT_FALSE(accepted(101, kind, "pop\x7f"));
    EXPECT_FALSE(accepted(101, kind, "\tpop"));
  }
  EXPECT_TRUE(accepted(152, FieldKind::Text, "Caf\xc3\xa9 [207] 1"));
}

TEST(SettingsChecks, ReturnAddressNumbersChoicesAndChecks) {
  EXPECT_TRUE(accepted(kReturnAddress, FieldKind::Text, ""));
  EXPECT_TRUE(accepted(kReturnAddress, FieldKind::Text, "gateway@example.org"));
  EXPECT_EQ(settingRefusal(kReturnAddress, FieldKind::Text, "gateway@example.org x").str(),
            "Invalid Return E-mail Address: 'gateway@example.org x' at position 19");
  EXPECT_TRUE(accepted(1, FieldKind::Number, "42"));
  EXPECT_FALSE(accepted(1, FieldKind::Number, "4 2"));
  std::vector<FieldChoice> modes = {{"none", "*None"}, {"tls", "*TLS"}};
  EXPECT_TRUE(settingRefusal(1, FieldKind::Choice, "tls", modes).empty());
  EXPECT_FALSE(settingRefusal(1, FieldKind::Choice, "starttls", modes).empty());
  EXPECT_TRUE(accepted(1, FieldKind::Check, "1"));
  EXPECT_FALSE(accepted(1, FieldKind::Check, "yes"));
}

TEST(SettingsChecks, TheIntervalLimitIsTheOneItsMessageNames) {
  long minutes = -1;
  EXPECT_TRUE(intervalRefusal("3", 1440, &minutes).empty());
  EXPECT_EQ(minutes, 4320);
  EXPECT_TRUE(intervalRefusal("0", 1, &minutes).empty());
  EXPECT_EQ(minutes, 0);
  EXPECT_TRUE(intervalRefusal("52", 10080, &minutes).empty());
  EXPECT_EQ(minutes, kMaxIntervalMinutes);
  EXPECT_TRUE(intervalRefusal("524160", 1).empty());
  const stringT limit = "The interval must be a whole number from 0 minutes to 52 weeks";
  for (auto [quantity, unit] : std::initializer_list<std::pair<const char*, long>>{
           {"53", 10080}, {"524161", 1}, {"99999999", 1}, {"365", 1440}, {"-1", 1}, {"abc", 60}, {"", 1}, {"2", 7}})
    EXPECT_EQ(intervalRefusal(quantity, unit), limit) << quantity << " x " << unit;
}

TEST(SettingsChecks, SecretsAreMarkedInTheTable) {
  EXPECT_TRUE(isSecretSetting(kPop3Password));
  EXPECT_TRUE(isSecretSetting(350));
  EXPECT_FALSE(isSecretSetting(kPop3Account));
  bool passwordOnPage = false;
  for (const SettingField& f : emailFields())
    if (f.number == kPop3Password) passwordOnPage = f.kind == FieldKind::Secret && f.scrambled;
  EXPECT_TRUE(passwordOnPage);
}

const SettingField& field(int setting) {
  const SettingField* f = settingsPageField(setting);
  EXPECT_NE(f, nullptr) << setting;
  static const SettingField none{0, "", FieldKind::Text};
  return f ? *f : none;
}

bool fieldAccepts(int setting, const char* value) { return fieldRefusal(field(setting), value).empty(); }

TEST(SettingsChecks, TheSecurityFieldsAreTheSetUpsSettings) {
  // Same labels, same secrets, and exactly the words the set-up takes.
  for (const MailSecuritySetting& m : kMailSecuritySettings) {
    const SettingField& f = field(m.number);
    EXPECT_STREQ(f.label, m.label) << m.number;
    bool secret = m.choices && std::string_view(m.choices) == "secret";
    EXPECT_EQ(f.kind == FieldKind::Secret, secret) << m.number;
    EXPECT_EQ(f.scrambled, secret) << m.number;
    EXPECT_TRUE(isSecretSetting(m.number) == secret) << m.number;
    if (f.kind != FieldKind::Choice) continue;
    std::string words;
    for (const FieldChoice& c : f.choices) words += (words.empty() ? "" : " ") + std::string(c.value);
    EXPECT_EQ(words, m.choices) << m.number;
  }
}

TEST(SettingsChecks, EveryChoiceAndItsEmptyValueReadAsTheSetUpReadsThem) {
  auto sameAsEmpty = [](int setting, std::string_view word) {
    switch (setting) {
      case kPop3Security:
      case kSmtpSecurity: {
        TransportSecurity a{}, b{};
        return parseTransportSecurity(word, a) && parseTransportSecurity("", b) && a == b;
      }
      case kPop3Login: {
        Pop3Login a{}, b{};
        return parsePop3Login(word, a) && parsePop3Login("", b) && a == b;
      }
      default: {
        SmtpLogin a{}, b{};
        return parseSmtpLogin(word, a) && parseSmtpLogin("", b) && a == b;
      }
    }
  };
  for (int setting : {kPop3Security, kPop3Login, kSmtpSecurity, kSmtpLogin}) {
    const SettingField& f = field(setting);
    ASSERT_EQ(f.kind, FieldKind::Choice) << setting;
    ASSERT_NE(f.emptyMeans, nullptr) << setting;
    EXPECT_TRUE(sameAsEmpty(setting, f.emptyMeans)) << setting;
    for (const FieldChoice& c : f.choices) EXPECT_TRUE(fieldAccepts(setting, c.value)) << c.value;
    EXPECT_TRUE(fieldAccepts(setting, ""));
  }
  EXPECT_EQ(fieldRefusal(field(kPop3Security), "starttls").str(), "Choose one of: none, stls, tls");
  EXPECT_EQ(fieldRefusal(field(kSmtpLogin), "cram-md5").str(), "Choose one of: none, plain, login, xoauth2");
  EXPECT_FALSE(fieldAccepts(kSmtpSecurity, "TLS"));
  EXPECT_FALSE(fieldAccepts(kSmtpSecurity, "tls\r\n[104] x"));
  // A check box takes 1 or 0 only.
  EXPECT_TRUE(fieldAccepts(kAllowPlaintextPassword, "0"));
  EXPECT_FALSE(fieldAccepts(kAllowPlaintextPassword, "yes"));
  EXPECT_FALSE(fieldAccepts(kReferenceInSubject, ""));
}

TEST(SettingsChecks, LimitsAreEmptyOrWholeNumbersUpToTheirBound) {
  for (const char* ok : {"", "0", "1", "26214400", "1073741824", " 500 "})
    EXPECT_TRUE(fieldAccepts(kMaxMessageSize, ok)) << ok;
  for (const char* bad : {"1073741825", "-1", "25M", "1e6", "99999999999999999999"})
    EXPECT_FALSE(fieldAccepts(kMaxMessageSize, bad)) << bad;
  EXPECT_EQ(fieldRefusal(field(kMaxMessageSize), "1073741825").str(),
            "A whole number from 0 to 1073741824 is expected (empty: 26214400)");
  EXPECT_EQ(fieldRefusal(field(kRunDeadline), "86401").str(), "A whole number from 0 to 86400 is expected (empty: 600)");
  EXPECT_TRUE(fieldAccepts(kMessageDeadline, "86400"));
  EXPECT_EQ(fieldRefusal(field(kMessageDeadline), "-5").str(), "A whole number is expected");
  EXPECT_TRUE(fieldAccepts(kNoticesPerHour, "0"));
  EXPECT_EQ(fieldRefusal(field(kNoticesPerHour), "100001").str(),
            "A whole number from 0 to 100000 is expected (empty: 20)");
  // The hints are the defaults the readers of these settings use.
  EXPECT_EQ(std::stol(field(kMaxMessageSize).emptyMeans), kDefaultMaxMessageSize);
  EXPECT_EQ(std::stol(field(kRunDeadline).emptyMeans), kDefaultRunDeadlineSeconds);
  EXPECT_EQ(std::stol(field(kMessageDeadline).emptyMeans), kDefaultMessageDeadlineSeconds);
}

// The pages against the process's settings, written to a file of their own.
class SettingsPagesStore : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = configurations().settings();
    dir_ = std::filesystem::temp_directory_path() / ("orv-settings-pages-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    configurations().settings() = saved_;
    std::filesystem::remove_all(dir_);
  }
  stringT path() const { return stringT((dir_ / "orvserv.cfg").string()); }

  GatewayDatabase gateway_{"/nonexistent/@Orvane", nullptr};
  MaintenanceDatabase maintenance_{"/nonexistent", nullptr};
  ConfigurationsManager settings_;
  ProcessingCycle cycle_{gateway_, maintenance_, settings_};
  GatewayThread thread_;
  MainWindow window_{cycle_, thread_};
  FieldMap saved_;
  std::filesystem::path dir_;
};

TEST_F(SettingsPagesStore, NewSecretsAreStoredScrambledAndReadBackByTheSetUp) {
  SettingsPages pages(window_, path());
  ASSERT_TRUE(pages.storeText(kSmtpPassword, "smtp pass").ok);
  ASSERT_TRUE(pages.storeText(kOAuthClientSecret, "client-secret").ok);
  ASSERT_TRUE(pages.storeText(kOAuthRefreshToken, "1//refresh").ok);
  EXPECT_NE(configurations().get(kSmtpPassword), "smtp pass");
  EXPECT_EQ(unscramble(configurations().get(kSmtpPassword)), "smtp pass");
  OAuthSettings oauth = oauthSettings(configurations().settings());
  EXPECT_EQ(oauth.clientSecret, "client-secret");
  EXPECT_EQ(oauth.refreshToken, "1//refresh");
  for (const ShownField& f : pages.emailPage()) {
    if (f.field->number == kSmtpPassword) {
      EXPECT_TRUE(f.isSet && f.value.empty());
    }
  }
  // The settings file holds the scrambled form only.
  std::ifstream file((dir_ / "orvserv.cfg").string(), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("[326] " + scramble("smtp pass").str() + "\r\n"), std::string::npos);
  EXPECT_EQ(text.find("smtp pass"), std::string::npos);
  EXPECT_EQ(text.find("client-secret"), std::string::npos);
  // Cleared, it is empty (not the scrambled form of nothing).
  ASSERT_TRUE(pages.storeText(kOAuthClientSecret, "").ok);
  EXPECT_TRUE(configurations().get(kOAuthClientSecret).empty());
}

TEST_F(SettingsPagesStore, ChoicesAndLimitsAreStoredOrRefusedAndShownWithTheirEmptyMeaning) {
  SettingsPages pages(window_, path());
  configurations().set(kAllowPlaintextPassword, "");
  configurations().set(kSmtpSecurity, "");
  configurations().set(kRunDeadline, "");
  for (const ShownField& f : pages.emailPage()) {
    if (f.field->number == kAllowPlaintextPassword) {
      EXPECT_EQ(f.value, "1");  // older files allowed it
    }
    if (f.field->number == kSmtpSecurity) {
      EXPECT_EQ(f.value, "none");
    }
  }
  EXPECT_TRUE(pages.storeText(kSmtpSecurity, "starttls").ok);
  EXPECT_EQ(configurations().get(kSmtpSecurity), "starttls");
  PageResult refused = pages.storeText(kSmtpSecurity, "ssl3");
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.message, "Choose one of: none, starttls, tls");
  EXPECT_EQ(configurations().get(kSmtpSecurity), "starttls");
  EXPECT_FALSE(pages.storeText(kRunDeadline, "100000").ok);
  EXPECT_TRUE(configurations().get(kRunDeadline).empty());
  EXPECT_TRUE(pages.storeText(kRunDeadline, "900").ok);
  EXPECT_TRUE(pages.storeText(kReferenceInSubject, "1").ok);
  bool shown = false;
  for (const ShownField& f : pages.limitsPage())
    if (f.field->number == kRunDeadline) shown = f.value == "900";
  EXPECT_TRUE(shown);
  // What was stored is in the file, and a re-read gives it back.
  ConfigurationsManager reread;
  ASSERT_EQ(reread.read(path(), kExtendedSettingsLow, kExtendedSettingsHigh), 0);
  EXPECT_EQ(reread.get(kRunDeadline), "900");
  EXPECT_EQ(reread.get(kReferenceInSubject), "1");
  EXPECT_EQ(reread.get(kSmtpSecurity), "starttls");
}

TEST(LogViews, TheRequestorAddressCannotAddHeadersToTheMailTarget) {
  LogRecord record(MailMessage("From: Eve <eve@example.org?bcc=all@example.org&body=hi#x>\r\n\r\nbody"));
  record.set(105, "Tap");
  // The mail reader takes "eve@example.org?bcc=all" from that mailbox; what
  // it keeps is escaped, so the only "?" of the target is the subject's.
  EXPECT_EQ(mailtoTarget(record), "mailto:eve@example.org%3Fbcc%3Dall?subject=RE: Tap");
  EXPECT_EQ(escapeMailtoAddress("o'neil.a-b_c@example.org"), "o'neil.a-b_c@example.org");
  EXPECT_EQ(escapeMailtoAddress("a b%\xe9@x"), "a%20b%25%E9@x");
}

}  // namespace

// A change of server on the E-mail page clears the password of the old
// one in the same write, says so, and tells beforehand.
TEST_F(SettingsPagesStore, MovingAConnectionClearsItsSecretAndSaysSo) {
  SettingsPages pages(window_, path());
  configurations().set(kPop3Server, "pop.example.org");
  configurations().set(kSmtpLogin, "plain");
  ASSERT_TRUE(pages.storeText(kPop3Password, "pop pass").ok);
  ASSERT_TRUE(pages.storeText(kSmtpPassword, "smtp pass").ok);

  EXPECT_EQ(pages.secretsClearedByText(kPop3Port, "2110"), std::vector<int>{kPop3Password});
  EXPECT_TRUE(pages.secretsClearedByText(kPop3Port, "nope").empty());  // refused anyway
  EXPECT_TRUE(pages.secretsClearedByText(kPop3Server, "pop.example.org").empty());
  EXPECT_FALSE(configurations().get(kPop3Password).empty()) << "asking stored nothing";

  PageResult moved = pages.storeText(kPop3Port, "2110");
  ASSERT_TRUE(moved.ok) << moved.message.str();
  EXPECT_EQ(moved.cleared, std::vector<int>{kPop3Password});
  EXPECT_EQ(moved.message, "Cleared, as they belong to the old connection; enter them again: POP3 password");
  EXPECT_TRUE(configurations().get(kPop3Password).empty());
  EXPECT_EQ(unscramble(configurations().get(kSmtpPassword)), "smtp pass");
  ConfigurationsManager reread;
  ASSERT_EQ(reread.read(path(), 0, 208), 0);
  EXPECT_TRUE(reread.get(kPop3Password).empty()) << "the file still holds it";
  EXPECT_EQ(reread.get(kPop3Port), "2110");

  // Allowing plain-text passwords clears both; forbidding them clears none.
  ASSERT_TRUE(pages.storeText(kPop3Password, "pop pass").ok);
  ASSERT_TRUE(pages.storeText(kAllowPlaintextPassword, "0").ok);
  EXPECT_TRUE(pages.storeText(kAllowPlaintextPassword, "0").cleared.empty());
  EXPECT_EQ(pages.storeText(kAllowPlaintextPassword, "1").cleared, (std::vector<int>{kPop3Password, kSmtpPassword}));
}
