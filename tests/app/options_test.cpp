#include "app/options.h"

#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

std::vector<stringT> tokens(std::initializer_list<const char*> args) {
  std::vector<stringT> t{stringT()};
  for (const char* a : args) t.emplace_back(a);
  return t;
}

ParseResult parse(std::initializer_list<const char*> args) {
  return parseOptions(tokens(args), orvservOptions(), kOrvservSlots);
}

TEST(OptionTokens, BlanksSeparateAndQuotesGroup) {
  auto t = tokenizeCommandLine("  /TD:\"C:/My Data\"\t-langid:c0c  \"say \\\"hi\\\"\" x\"\"y \"\" ");
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[0].view(), "/TD:C:/My Data");
  EXPECT_EQ(t[1].view(), "-langid:c0c");
  EXPECT_EQ(t[2].view(), "say \"hi\"");
  EXPECT_EQ(t[3].view(), "xy");
  EXPECT_EQ(t[4].view(), "");
  auto open = tokenizeCommandLine("/TD:\"unbalanced  rest");
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].view(), "/TD:unbalanced  rest");
  EXPECT_TRUE(tokenizeCommandLine(" \t ").empty());
}

TEST(OptionNames, RequiredCharactersMustAppearOptionalOnesMay) {
  EXPECT_EQ(optionNameScore("TarnwickDatabase", "TD"), 2048);
  EXPECT_EQ(optionNameScore("TarnwickDatabase", "tarnwickdb"), 2048 + 8);
  EXPECT_EQ(optionNameScore("TarnwickDatabase", "TARNWICKDATABASE"), 2048 + 14);
  EXPECT_EQ(optionNameScore("TarnwickDatabase", "T"), 0);
  EXPECT_EQ(optionNameScore("TarnwickDatabase", "DT"), 0);
  EXPECT_EQ(optionNameScore("LANGID", "LANG"), 0);
  EXPECT_EQ(optionNameScore("LANGID", "langid"), 6 * 1024);
  // An optional letter must be skipped when taking it would starve a
  // required one.
  EXPECT_EQ(optionNameScore("xX", "X"), 1024);
  EXPECT_EQ(optionNameScore("max_Size", "MAXS"), 1024 + 3);
}

TEST(OptionParse, ValueOptionsInTheirAcceptedForms) {
  auto r = parse({"/TD:/srv/db", "-langid:c0c"});
  EXPECT_FALSE(r.firstUnmatched());
  EXPECT_EQ(r.value(kSlotDatabase)->view(), "/srv/db");
  EXPECT_EQ(r.value(kSlotLangId)->view(), "c0c");
  auto full = parse({"-tarnwickdb:a,b", "/LANGID:"});
  EXPECT_EQ(full.value(kSlotDatabase)->view(), "a");
  EXPECT_EQ(full.slots[kSlotDatabase]->values.size(), 2u);
  EXPECT_EQ(full.slots[kSlotDatabase]->text.view(), "a,b");
  EXPECT_EQ(full.value(kSlotLangId)->view(), "");
}

TEST(OptionParse, UnmatchedForms) {
  EXPECT_EQ(parse({"/LANG:40c"}).firstUnmatched(), 1u);
  EXPECT_EQ(parse({"/LANGID", "40c"}).firstUnmatched(), 1u);
  EXPECT_EQ(parse({"word"}).firstUnmatched(), 1u);
  EXPECT_EQ(parse({""}).firstUnmatched(), 1u);
  EXPECT_EQ(parse({"/"}).firstUnmatched(), 1u);
  EXPECT_EQ(parse({"-"}).firstUnmatched(), 1u);
  EXPECT_EQ(parse({"/TD+"}).firstUnmatched(), 1u);  // a value option is no switch
  auto twice = parse({"/LANGID:409", "/LANGID:40c"});
  EXPECT_EQ(twice.firstUnmatched(), 2u);
  EXPECT_EQ(twice.value(kSlotLangId)->view(), "409");
  EXPECT_FALSE(parse({}).firstUnmatched());
}

TEST(OptionParse, ValueListFormAndPathsEndingInSigns) {
  auto r = parse({"/TD:", "/srv/db", "/LANGID:", "40c", "extra"});
  EXPECT_FALSE(r.firstUnmatched());
  EXPECT_EQ(r.value(kSlotDatabase)->view(), "/srv/db");
  EXPECT_EQ(r.slots[kSlotLangId]->values.size(), 2u);
  EXPECT_EQ(parse({"/TD:"}).value(kSlotDatabase)->view(), "");
  auto signs = parse({"/TD:/srv/backup-", "/Run:all+"});
  EXPECT_EQ(signs.value(kSlotDatabase)->view(), "/srv/backup-");
  EXPECT_EQ(signs.value(kSlotRun)->view(), "all+");
}

TEST(OptionParse, SwitchesOnAndOff) {
  EXPECT_TRUE(parse({"/AssumeYes+"}).slots[kSlotAssumeYes]->on);
  EXPECT_TRUE(parse({"-ay"}).slots[kSlotAssumeYes]->on);
  EXPECT_FALSE(parse({"/AssumeYes-"}).slots[kSlotAssumeYes]->on);
  EXPECT_EQ(parse({"/AssumeYes:1"}).firstUnmatched(), 1u);
}

TEST(OptionUsage, PadsDisplayTextsToTheLongest) {
  std::vector<OptionDefinition> two = {defineOption("TarnwickDatabase", kOptValue, 0, "Tarnwick Database location."),
                                       defineOption("LANGID", kOptValue, 1, "Language id to use.")};
  EXPECT_EQ(usageText(two).view(),
            " [options]\n"
            "options:\n"
            " /TarnwickDatabase: -- Tarnwick Database location.\n"
            " /LANGID:           -- Language id to use.\n");
  // With the program's name, the line the usage printer puts first.
  EXPECT_EQ(usageText(two, "orvserv").view().substr(0, 34), "Usage: orvserv [options]\noptions:\n");
  EXPECT_EQ(defineOption("AssumeYes", kOptSwitch, 4, "x").display.view(), "/AssumeYes+/-");
  EXPECT_EQ(defineOption("file", kOptPlain, 5, "x").display.view(), "file");
}

TEST(CommandLineValues, AreCheckedAndConverted) {
  auto ok = readCommandLine(parse({"/TD:C:\\Data\\Tarnwick\\", "/LANGID:0x0C0C", "/Listen:[::1]:8080", "/Run:Update", "/AY+"}));
  ASSERT_TRUE(ok.ok);
  EXPECT_EQ(ok.values.database->view(), "C:/Data/Tarnwick");
  EXPECT_EQ(*ok.values.languageId, 0x0C0C);
  EXPECT_EQ(ok.values.consoleAddress.view(), "::1");
  EXPECT_EQ(ok.values.consolePort, 8080);
  EXPECT_EQ(ok.values.run, RunKind::Update);
  EXPECT_TRUE(ok.values.assumeYes);

  auto defaults = readCommandLine(parse({}));
  ASSERT_TRUE(defaults.ok);
  EXPECT_FALSE(defaults.values.database);
  EXPECT_EQ(defaults.values.consolePort, kDefaultConsolePort);
  EXPECT_FALSE(defaults.values.consoleOff);
  EXPECT_TRUE(readCommandLine(parse({"/Listen:OFF"})).values.consoleOff);
  EXPECT_EQ(readCommandLine(parse({"/TD:/a,b"})).values.database->view(), "/a,b");

  for (auto bad : {"/LANGID:zz", "/LANGID:10000", "/LANGID:40c0x", "/Listen:host:0", "/Listen:host:99999",
                   "/Listen::80", "/Run:sometimes", "/TD:"}) {
    auto r = readCommandLine(parse({"/AY+", bad}));
    EXPECT_FALSE(r.ok) << bad;
    EXPECT_EQ(r.invalidToken.view(), bad);
  }
  EXPECT_EQ(*parseLanguageId("c0c"), 0x0C0C);
  EXPECT_EQ(*parseLanguageId(" 40C"), 0x040C);
}

}  // namespace

TEST(CommandLineValues, SetMayBeRepeatedAndKeepsEveryValueWhole) {
  auto ok = readCommandLine(parse({"/Set:101=pop.example.org", "/TD:/srv/t", "/Set:152=Desk, building 4",
                                   "/SFF:104=/run/secret", "/SetFromStdin:155", "/set:103=a=b"}));
  ASSERT_TRUE(ok.ok) << ok.invalidToken.str();
  std::vector<std::string> got;
  for (const SettingAssignment& a : ok.values.settings)
    got.push_back(std::to_string(a.number) + "|" + std::to_string(static_cast<int>(a.source)) + "|" + a.text.str());
  EXPECT_EQ(got, (std::vector<std::string>{"101|0|pop.example.org", "152|0|Desk, building 4", "103|0|a=b",
                                           "104|1|/run/secret", "155|2|"}));
  // One stdin value only; each form needs its number.
  for (auto bad : std::vector<std::vector<std::string>>{{"/SetFromStdin:104", "/SetFromStdin:103"},
                                                        {"/Set:101"}, {"/Set:=x"}, {"/Set:x1=2"},
                                                        {"/SetFromFile:104"}, {"/SetFromStdin:104=x"},
                                                        {"/Set:12345=x"}}) {
    std::vector<stringT> t{stringT()};
    for (const std::string& a : bad) t.emplace_back(a);
    auto r = readCommandLine(parseOptions(t, orvservOptions(), kOrvservSlots));
    EXPECT_FALSE(r.ok) << bad.back();
  }
}

TEST(CommandLineValues, HelpAndVersionAreFoundAnywhereAfterTheProgramName) {
  using IR = InformationRequest;
  EXPECT_EQ(informationRequest({"orvserv", "/TD:/x", "--help"}), IR::Help);
  EXPECT_EQ(informationRequest({"orvserv", "-h"}), IR::Help);
  EXPECT_EQ(informationRequest({"orvserv", "/?"}), IR::Help);
  EXPECT_EQ(informationRequest({"orvserv", "--version", "--help"}), IR::Version);
  EXPECT_EQ(informationRequest({"--help"}), IR::None);  // the program name itself
  EXPECT_EQ(informationRequest({"orvserv", "/TD:--help"}), IR::None);
}
