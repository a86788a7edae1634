// Settings from the command line: which may be written, how values are
// checked and read, and how /Set tokens are parsed.
#include "app/settings_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/configurations.h"

namespace {

SettingAssignment value(int number, const char* text) {
  return SettingAssignment{number, SettingSource::Value, text, "/Set"};
}

std::FILE* input(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

TEST(CommandLineSettings, OnlyThePagesSettingsMayBeWritten) {
  for (int n : {101, 102, 103, 104, 105, 106, 151, 152, 153, 154, 155, 156, 157, 158, 159})
    EXPECT_TRUE(commandLineSettingKind(n).has_value()) << n;
  for (int n : {310, 312, 313, 320, 321, 322, 323, 324, 325, 326, 327, 328, 329, 330, 331, 332, 333, 334, 380, 381})
    EXPECT_TRUE(commandLineSettingKind(n).has_value()) << n;
  // The console password hash has a command of its own; 350-369 are not settings a script writes.
  for (int n : {0, 100, 107, 150, 160, 204, 205, 206, 207, 301, 311, 335, 350, 351, 379, 382, 499, 9999})
    EXPECT_FALSE(commandLineSettingKind(n).has_value()) << n;
  EXPECT_EQ(settingValueProblem(204, "9.9.9.9").value_or(""),
            "Setting 204 cannot be written from the command line");
}

TEST(CommandLineSettings, ValuesAreCheckedByKind) {
  EXPECT_FALSE(settingValueProblem(101, "pop.example.org"));
  EXPECT_FALSE(settingValueProblem(152, "Maintenance desk, building 4"));
  EXPECT_FALSE(settingValueProblem(105, ""));
  EXPECT_FALSE(settingValueProblem(105, "995"));
  EXPECT_FALSE(settingValueProblem(106, "65535"));
  EXPECT_TRUE(settingValueProblem(106, "65536"));
  EXPECT_TRUE(settingValueProblem(105, "-1"));
  EXPECT_TRUE(settingValueProblem(105, "110 "));
  EXPECT_FALSE(settingValueProblem(151, "1440"));
  EXPECT_TRUE(settingValueProblem(151, "1 hour"));
  EXPECT_FALSE(settingValueProblem(156, "1"));
  EXPECT_FALSE(settingValueProblem(157, "0"));
  EXPECT_TRUE(settingValueProblem(158, "yes"));
  EXPECT_FALSE(settingValueProblem(155, ""));
  EXPECT_FALSE(settingValueProblem(155, "maintenance@example.org"));
  EXPECT_EQ(settingValueProblem(155, "desk@example.org x").value_or(""),
            "Invalid Return E-mail Address: 'desk@example.org x' at position 16");
}

TEST(CommandLineSettings, SecurityAndLimitSettingsAreCheckedAsThePagesCheckThem) {
  EXPECT_FALSE(settingValueProblem(320, "stls"));
  EXPECT_FALSE(settingValueProblem(323, ""));
  EXPECT_EQ(settingValueProblem(323, "stls").value_or(""), "Setting 323: Choose one of: none, starttls, tls");
  EXPECT_TRUE(settingValueProblem(321, "login"));
  EXPECT_FALSE(settingValueProblem(324, "xoauth2"));
  EXPECT_FALSE(settingValueProblem(329, "0"));
  EXPECT_TRUE(settingValueProblem(313, "on"));
  EXPECT_FALSE(settingValueProblem(310, ""));
  EXPECT_FALSE(settingValueProblem(312, "0"));
  EXPECT_EQ(settingValueProblem(380, "86401").value_or(""),
            "Setting 380: A whole number from 0 to 86400 is expected (empty: 600)");
  EXPECT_TRUE(settingValueProblem(381, "5 min"));
  EXPECT_FALSE(settingValueProblem(333, "https://login.example.org/oauth2/token"));
  EXPECT_TRUE(settingValueProblem(333, stringT("https://x\r\n[104] y")));
}

TEST(CommandLineSettings, EveryPasswordIsStoredScrambled) {
  std::vector<stringT> problems;
  std::FILE* in = input("refresh-token\n");
  std::optional<FieldMap> values = resolveSettings(
      {value(104, "pop"), value(326, "smtp"), value(331, "client"), SettingAssignment{332, SettingSource::Stdin, "", "/SetFromStdin"},
       value(325, "gateway@example.org")},
      in, problems);
  std::fclose(in);
  ASSERT_TRUE(values) << (problems.empty() ? "" : problems.front().str());
  EXPECT_EQ(values->get(104), scramble("pop"));
  EXPECT_EQ(values->get(326), scramble("smtp"));
  EXPECT_EQ(values->get(331), scramble("client"));
  EXPECT_EQ(values->get(332), scramble("refresh-token"));
  EXPECT_EQ(values->get(325), "gateway@example.org");
}

TEST(CommandLineSettings, ControlCharactersAndOverlongValuesAreRefused) {
  EXPECT_EQ(settingValueProblem(103, stringT("gate\nway")).value_or(""),
            "The value of setting 103 holds a control character at position 4");
  EXPECT_TRUE(settingValueProblem(104, stringT("pass\tword")));
  EXPECT_TRUE(settingValueProblem(152, stringT("x\x7f")));
  EXPECT_TRUE(settingValueProblem(101, stringT(std::string_view("a\0b", 3))));
  EXPECT_FALSE(settingValueProblem(152, stringT(std::string(kMaxSettingValue, 'x'))));
  EXPECT_TRUE(settingValueProblem(152, stringT(std::string(kMaxSettingValue + 1, 'x'))));
  // Bytes above 127 are text (a name in Latin-1 or UTF-8), not control.
  EXPECT_FALSE(settingValueProblem(152, "Entretien général"));
}

TEST(CommandLineSettings, ThePasswordIsStoredScrambledAndValuesComeFromFilesAndStdin) {
  auto dir = std::filesystem::temp_directory_path() / "orv_settings_command_test";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "secret") << "s3cret pass\r\nsecond line is ignored\n";
  std::ofstream(dir / "host") << "smtp.example.org";  // no line end
  std::FILE* in = input("gateway\nnot read\n");
  std::vector<stringT> problems;
  auto values = resolveSettings({SettingAssignment{104, SettingSource::File, (dir / "secret").string(), ""},
                                 SettingAssignment{102, SettingSource::File, (dir / "host").string(), ""},
                                 SettingAssignment{103, SettingSource::Stdin, "", ""}, value(105, "")},
                                in, problems);
  std::fclose(in);
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(values) << (problems.empty() ? "" : problems.front().str());
  EXPECT_NE(values->get(104), "s3cret pass");
  EXPECT_EQ(unscramble(values->get(104)), "s3cret pass");
  EXPECT_EQ(values->get(102), "smtp.example.org");
  EXPECT_EQ(values->get(103), "gateway");
  EXPECT_TRUE(values->contains(105));
  EXPECT_EQ(values->get(105), "");
}

TEST(CommandLineSettings, OneBadValueWritesNoneAndEveryProblemIsNamed) {
  std::vector<stringT> problems;
  std::FILE* in = input("");
  auto values = resolveSettings({value(101, "pop.example.org"), value(207, "token"), value(105, "pop3"),
                                 value(101, "again"), SettingAssignment{104, SettingSource::Stdin, "", ""},
                                 SettingAssignment{154, SettingSource::File, "/nonexistent/first-line", ""}},
                                in, problems);
  std::fclose(in);
  EXPECT_FALSE(values);
  std::vector<std::string> texts;
  for (const stringT& p : problems) texts.push_back(p.str());
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Setting 207 cannot be written from the command line",
                       "The value of setting 105 must be a port number from 0 to 65535",
                       "Setting 101 is given more than once",
                       "No value for setting 104 on standard input",
                       "Can't read the value of setting 154 from '/nonexistent/first-line'",
                   }));
}

}  // namespace

// A secret belongs to the connection it was entered for: moving the
// connection, or weakening how the secret travels, clears it, unless the
// same command gives it again.
TEST(CommandLineSettings, ChangingWhereOrHowASecretIsSentClearsIt) {
  struct Case {
    std::vector<std::pair<int, const char*>> values;
    std::vector<int> cleared;
  };
  const Case cases[] = {
      {{{kPop3Server, "pop.attacker.example"}}, {kPop3Password}},
      {{{kPop3Port, "2110"}}, {kPop3Password}},
      {{{kPop3Security, "none"}}, {kPop3Password}},
      {{{kPop3CertificatePin, "00ff"}}, {kPop3Password}},
      {{{kAllowPlaintextPassword, "1"}}, {kPop3Password, kSmtpPassword}},
      {{{kSmtpServer, "smtp.attacker.example"}}, {kSmtpPassword, kOAuthRefreshToken}},  // SMTP logs in with OAuth
      {{{kSmtpPort, "2525"}, {kSmtpPassword, "new"}}, {kOAuthRefreshToken}},  // given again: kept
      {{{kPop3Server, "pop2.example.org"}, {kPop3Password, "new"}}, {}},
      {{{kOAuthTokenUrl, "https://attacker.example/token"}}, {kOAuthClientSecret, kOAuthRefreshToken}},
      {{{kPop3Login, "xoauth2"}}, {kOAuthRefreshToken}},
      {{{kTlsCaFile, "/tmp/ca.pem"}}, {kPop3Password, kSmtpPassword, kOAuthClientSecret, kOAuthRefreshToken}},
      {{{kPop3Server, "pop.example.org"}}, {}},  // the value it had
      {{{kTitle, "Maintenance"}, {kSmtpUser, "other"}, {kPop3Account, "other"}}, {}},
  };
  for (const Case& c : cases) {
    FieldMap settings;
    settings.set(kPop3Server, "pop.example.org");
    settings.set(kSmtpLogin, "xoauth2");
    settings.set(kPop3Login, "user");
    settings.set(kAllowPlaintextPassword, "0");
    for (int secret : {kPop3Password, kSmtpPassword, kOAuthClientSecret, kOAuthRefreshToken})
      settings.set(secret, scramble("old"));
    FieldMap values;
    std::string label;
    for (auto [number, text] : c.values) {
      values.set(number, commandLineSettingKind(number) == SettingKind::Password ? scramble(text) : stringT(text));
      label += std::to_string(number) + "=" + text + " ";
    }
    EXPECT_EQ(applySettings(values, settings), c.cleared) << label;
    for (int secret : {kPop3Password, kSmtpPassword, kOAuthClientSecret, kOAuthRefreshToken}) {
      bool cleared = std::find(c.cleared.begin(), c.cleared.end(), secret) != c.cleared.end();
      stringT expected = values.get(secret).empty() ? (cleared ? stringT() : scramble("old")) : values.get(secret);
      EXPECT_EQ(settings.get(secret), expected) << label << secret;
    }
    for (auto [number, text] : c.values) {
      if (commandLineSettingKind(number) != SettingKind::Password) {
        EXPECT_EQ(settings.get(number), text) << label;
      }
    }
  }
  // Forbidding plain-text passwords sends nothing anywhere: nothing cleared.
  FieldMap settings;
  settings.set(kAllowPlaintextPassword, "1");
  settings.set(kPop3Password, scramble("old"));
  FieldMap values;
  values.set(kAllowPlaintextPassword, "0");
  EXPECT_TRUE(applySettings(values, settings).empty());
  EXPECT_EQ(settings.get(kPop3Password), scramble("old"));
}
