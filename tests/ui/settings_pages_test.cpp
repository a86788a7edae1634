// What the settings pages accept, what they show of secrets, and the
// requestor mail target's address.
#include "ui/settings_pages.h"

#include <gtest/gtest.h>

#include "common/configurations.h"
#include "db/log_record.h"
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

TEST(LogViews, TheRequestorAddressCannotAddHeadersToTheMailTarget) {
  LogRecord record(MailMessage("From: Eve <eve@example.org?bcc=all@example.org&body=hi#x>\r\n\r\nbody"));
  record.set(105, "Tap");
  EXPECT_EQ(mailtoTarget(record), "mailto:eve@example.org%3Fbcc%3Dall@example.org%26body%3Dhi%23x?subject=RE: Tap");
  EXPECT_EQ(escapeMailtoAddress("o'neil.a-b_c@example.org"), "o'neil.a-b_c@example.org");
  EXPECT_EQ(escapeMailtoAddress("a b%\xe9@x"), "a%20b%25%E9@x");
}

}  // namespace
