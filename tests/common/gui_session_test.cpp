#include "common/gui_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "common/diagnostics.h"
#include "common/language_id.h"
#include "common/string_mapper.h"
#include "test_support.h"

namespace {

TEST(GUISession, CaptionsIconsAndExtraText) {
  ScriptedInteraction ui;
  GUISession s;
  s.Info("hello");
  s.Error("bad", "detail");
  s.InternalError("oops", "more");
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(ui.boxes[0].caption, "Tarnwick Information");
  EXPECT_EQ(ui.boxes[0].text, "hello");
  EXPECT_EQ(ui.boxes[1].icon, MessageIcon::Error);
  EXPECT_EQ(ui.boxes[1].caption, "Tarnwick Error");
  EXPECT_EQ(ui.boxes[1].text, "bad\r\ndetail");
  EXPECT_EQ(ui.boxes[2].caption, "Tarnwick Internal Error");
  EXPECT_EQ(ui.boxes[2].text, "Internal Error\r\noops\r\nmore");
}

TEST(GUISession, AskIsTrueExactlyForTheSecondAnswer) {
  ScriptedInteraction ui;
  GUISession s;
  ui.answers = {GUISession::No, GUISession::Yes, GUISession::Cancel, GUISession::OK};
  EXPECT_TRUE(s.Ask(GUISession::Yes, GUISession::No, "Upgrade?"));
  EXPECT_FALSE(s.Ask(GUISession::Yes, GUISession::No, "Upgrade?", "now"));
  EXPECT_FALSE(s.Ask(GUISession::Cancel, GUISession::OK, "Go?"));
  EXPECT_TRUE(s.Ask(GUISession::Cancel, GUISession::OK, "Go?"));
  EXPECT_EQ(ui.boxes[0].caption, "Tarnwick Question");
  EXPECT_EQ(ui.boxes[1].text, "Upgrade?\r\nnow");
  EXPECT_EQ(ui.asked[2], std::make_pair(2, 3));
}

TEST(GUISession, IllegalPairsAreAnInternalError) {
  ScriptedInteraction ui;
  GUISession s;
  EXPECT_FALSE(s.Ask(GUISession::Yes, GUISession::Cancel, "?"));
  EXPECT_FALSE(s.Ask(GUISession::No, 7, "?"));
  EXPECT_FALSE(s.Ask(GUISession::Yes, GUISession::Yes, "?"));
  EXPECT_TRUE(ui.asked.empty());
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[0].text, "Internal Error\r\nIllegal options to GUISession::Ask");
}

TEST(UserInteraction, TheSafeAnswerChangesNothing) {
  EXPECT_EQ(safeAnswer(0, 1), 1);
  EXPECT_EQ(safeAnswer(1, 0), 1);
  EXPECT_EQ(safeAnswer(3, 2), 2);
  EXPECT_EQ(safeAnswer(2, 3), 2);
}

TEST(Diagnostics, ListShowsOneRowNewestFirstAndFileKeepsLineBreaks) {
  ScratchDir dir;
  setenv("TZ", "UTC", 1);
  tzset();
  DiagnosticList list;
  std::time_t t = 1700000000;  // Tue Nov 14 2023 22:13:20 UTC
  list.setTimeSource([&] { return t; });
  list.openDiagnosticFile(dir.file("diagnostic.txt").c_str(), false);
  list.addDiagnostic("first");
  t += 61;
  list.addDiagnostic("two\r\nlines");
  auto rows = list.snapshot();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].description.view(), "two : lines");
  EXPECT_EQ(rows[0].time.view(), "Tue 11/14/23 22:14");  // untranslated: shown without its marker
  EXPECT_EQ(rows[1].description.view(), "first");
  EXPECT_EQ(dir.read("diagnostic.txt"), "11/14/23 22:13:20 : first\n11/14/23 22:14:21 : two\r\nlines\n");

  stringMapper().setEntry("*%a %m/%d/%y %H:%M", "%d.%m.%Y %H.%M");
  list.addDiagnostic("translated");
  stringMapper().clear();
  EXPECT_EQ(list.snapshot()[0].time.view(), "14.11.2023 22.14");

  list.openDiagnosticFile(dir.file("diagnostic.txt").c_str(), true);
  EXPECT_EQ(dir.read("diagnostic.txt"), "");
  list.openDiagnosticFile(dir.file("no/such/dir.txt").c_str(), false);
  list.addDiagnostic("still listed");
  EXPECT_EQ(list.snapshot().size(), 4u);
}

TEST(Diagnostics, ListIsBoundedAndReadableWhileWritten) {
  DiagnosticList list;
  list.setTimeSource([] { return std::time_t(0); });
  std::thread reader([&] {
    for (int i = 0; i < 200; ++i) (void)list.snapshot();
  });
  for (size_t i = 0; i < DiagnosticList::kMaxEntries + 5; ++i) list.addDiagnostic(std::to_string(i));
  reader.join();
  auto rows = list.snapshot();
  ASSERT_EQ(rows.size(), DiagnosticList::kMaxEntries);
  EXPECT_EQ(rows.front().description.str(), std::to_string(DiagnosticList::kMaxEntries + 4));
  EXPECT_EQ(rows.back().description.view(), "5");
}

TEST(LanguageId, LocaleEnvironmentMapsToWindowsIds) {
  EXPECT_EQ(languageIdFromLocale("fr_FR.UTF-8"), 0x040C);
  EXPECT_EQ(languageIdFromLocale("fr_CA"), 0x0C0C);
  EXPECT_EQ(languageIdFromLocale("fr_XX"), 0x040C);
  EXPECT_EQ(languageIdFromLocale("de_CH.UTF-8@euro"), 0x0807);
  EXPECT_EQ(languageIdFromLocale("C.UTF-8"), 0x0409);
  EXPECT_EQ(languageIdFromLocale("POSIX"), 0x0409);
  EXPECT_EQ(languageIdFromLocale("zz_ZZ"), 0x0409);
  EXPECT_EQ(languageIdFromEnvironment("", "de_DE", "fr_FR"), 0x0407);
  EXPECT_EQ(languageIdFromEnvironment("es_MX", "de_DE", "fr_FR"), 0x080A);
  EXPECT_EQ(languageIdFromEnvironment(nullptr, nullptr, "en_GB.UTF-8"), 0x0809);
  EXPECT_EQ(languageIdFromEnvironment(nullptr, nullptr, nullptr), 0x0409);
}

}  // namespace
