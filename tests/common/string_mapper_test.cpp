#include "common/string_mapper.h"

#include <gtest/gtest.h>

#include "common/message_file.h"
#include "test_support.h"

namespace {

StringMapper loaded(const std::string& content, bool raw = false) {
  StringMapper m;
  m.loadMessagesFromText(content, kMessageMarker, ',', '\n', raw);
  return m;
}

TEST(MessageFile, EntriesNeedTheMarkerAndALineEnd) {
  StringMapper m = loaded(
      "; a comment line\n"
      "heading ORVSERV,*Rejected,Refusé\n"
      "ORVSERV,*Waiting,En attente\n"
      "no marker,*Void,Annulé\n"
      "ORVSERV,,empty key\n"
      "ORVSERV,*Empty,\n"
      "ORVSERV,*Last,no line feed");
  EXPECT_EQ(m.translate("*Rejected").view(), "Refusé");
  EXPECT_EQ(m.translate("*Waiting").view(), "En attente");
  EXPECT_EQ(m.translate("*Void").view(), "Void");
  EXPECT_EQ(m.translate("*Empty").view(), "Empty");
  EXPECT_EQ(m.translate("*Last").view(), "Last");
  EXPECT_EQ(m.entryCount(), 2u);
}

TEST(MessageFile, QuotedKeysAndTextsAndCrLf) {
  StringMapper m = loaded(
      "ORVSERV,\"*Yes, or no\",\"Oui, ou non\"\r\n"
      "ORVSERV,\"*half open,text\n"
      "ORVSERV,*Quote,\"unclosed\n"
      "ORVSERV,*Inner,a \"b\" c\n");
  EXPECT_EQ(m.translate("*Yes, or no").view(), "Oui, ou non");
  EXPECT_EQ(m.translate("*Quote").view(), "\"unclosed");
  EXPECT_EQ(m.translate("*Inner").view(), "a \"b\" c");
  EXPECT_EQ(m.entryCount(), 3u);
}

TEST(MessageFile, EscapesAreResolvedUnlessRaw) {
  EXPECT_EQ(unescapeMessageText("a\\nb\\r\\t"), "a\nb\r\t");
  EXPECT_EQ(unescapeMessageText("\\x41\\x4a\\x4B\\x141"), "AJKA");
  EXPECT_EQ(unescapeMessageText("\\101\\7\\0101"), std::string("A\x07\x08" "1"));
  EXPECT_EQ(unescapeMessageText("\\q\\\\\\xg"), "q\\xg");
  EXPECT_EQ(unescapeMessageText("end\\"), "end\\");
  EXPECT_EQ(unescapeMessageText("\\777"), "\xff");
  StringMapper cooked = loaded("ORVSERV,*Two\\x2c lines,first\\nsecond\n");
  EXPECT_EQ(cooked.translate("*Two, lines").view(), "first\nsecond");
  StringMapper raw = loaded("ORVSERV,*Two,first\\nsecond\n", true);
  EXPECT_EQ(raw.translate("*Two").view(), "first\\nsecond");
}

TEST(MessageFile, LaterEntriesWinAndLookupIsExact) {
  StringMapper m = loaded("ORVSERV,*A,one\nORVSERV,*A,two\nORVSERV,Caption,Titre\n");
  EXPECT_EQ(m.translate("*A").view(), "two");
  EXPECT_EQ(m.translate("*a").view(), "a");
  EXPECT_EQ(m.translate("*A ").view(), "A ");
  EXPECT_EQ(m.translate("Caption").view(), "Titre");  // no marker needed to be translated
}

TEST(MessageFile, OverlongLinesAreReadInPieces) {
  // A line holds at most 1027 bytes with its line feed: 1026 + LF is whole.
  std::string fits = "ORVSERV,*Fits," + std::string(1026 - 14, 'f') + "\n";
  std::string tooLong = "ORVSERV,*Long," + std::string(1027 - 14, 'g') + "\n";
  // The tail of an overlong line is a line of its own.
  std::string tail = std::string(1027, 'x') + "ORVSERV,*Tail,t\n";
  StringMapper m = loaded(fits + tooLong + tail);
  EXPECT_EQ(m.translate("*Fits").size(), 1026u - 14);
  EXPECT_EQ(m.translate("*Long").view(), "Long");
  EXPECT_EQ(m.translate("*Tail").view(), "t");
}

TEST(MessageFile, PiecesFedInAnySplitGiveTheSameMap) {
  std::string content = "ORVSERV,*A,1\r\nORVSERV,\"*B,\",2\r\r\nx\rORVSERV,*C,3\n";
  for (size_t cut = 0; cut <= content.size(); ++cut) {
    std::vector<std::pair<std::string, std::string>> got;
    MessageFileReader reader(kMessageMarker, ',', '\n', false,
                             [&](std::string k, std::string t) { got.emplace_back(k, t); });
    reader.feed(std::string_view(content).substr(0, cut));
    reader.feed(std::string_view(content).substr(cut));
    reader.finish();
    ASSERT_EQ(got.size(), 3u) << cut;
    EXPECT_EQ(got[1].first, "*B,");
    EXPECT_EQ(got[1].second, "2\r");
    EXPECT_EQ(got[2].first, "*C");
  }
}

TEST(StringMapper, LoadMessagesReportsAMissingFileAndEmptiesTheMap) {
  ScratchDir dir;
  dir.write("m.txt", "ORVSERV,*A,a\n");
  StringMapper m;
  EXPECT_EQ(m.loadMessages(dir.file("m.txt")), 0);
  EXPECT_EQ(m.translate("*A").view(), "a");
  EXPECT_EQ(m.loadMessages(dir.file("none.txt")), 1);
  EXPECT_EQ(m.message().str(), "can't open file '" + dir.file("none.txt") + "' to read");
  EXPECT_EQ(m.translate("*A").view(), "A");
  EXPECT_EQ(m.loadMessages(dir.path()), 1);  // a directory
  EXPECT_EQ(m.name().view(), "String Mapper");
}

TEST(StringMapper, LoadLanguageFallsBackToPrimaryThenNeutral) {
  ScratchDir dir;
  ScriptedInteraction ui;
  StringMapper m;
  m.setProgramDirectory(dir.path());
  dir.write("msg000c.txt", "ORVSERV,*Yes,Oui\n");
  EXPECT_EQ(m.loadLanguage(0x0C0C), 0x000C);
  EXPECT_EQ(m.translate("*Yes").view(), "Oui");
  dir.write("msg0c0c.txt", "ORVSERV,*Yes,Ouais\n");
  EXPECT_EQ(m.loadLanguage(0x0C0C), 0x0C0C);
  EXPECT_EQ(m.translate("*Yes").view(), "Ouais");
  dir.write("msg0000.txt", "ORVSERV,*Yes,Yes\n");
  EXPECT_EQ(m.loadLanguage(0x0407), 0);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(StringMapper, NoMessageFileWarnsAndLeavesTheMapEmpty) {
  ScratchDir dir;
  ScriptedInteraction ui;
  StringMapper m;
  m.setProgramDirectory(dir.path());
  m.setEntry("*&Session", "&Session");
  EXPECT_EQ(m.loadLanguage(0x0409), kNoLanguageLoaded);
  EXPECT_EQ(m.loadedLanguage(), kNoLanguageLoaded);
  EXPECT_FALSE(m.hasEntry("*&Session"));
  EXPECT_EQ(m.translate("*&Session").view(), "&Session");  // never shown with its marker
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(ui.boxes[0].text, "String Mapper : 0x0001\r\ncan't open file '" + dir.path() + "/msg0000.txt' to read");
}

TEST(StringMapper, MessagesLineAndManualDirectory) {
  ScratchDir dir;
  StringMapper m;
  m.setProgramDirectory(dir.path());
  m.setRequestedLanguage(0x0C0C);
  dir.write("msg000c.txt",
            "ORVSERV,*Messages,Messages\nORVSERV,*Version,version\n"
            "ORVSERV,_MSGxxxx Version,$Revision: 1.7 $\n");
  ASSERT_EQ(m.loadLanguage(0x0C0C), 0x000C);
  EXPECT_EQ(m.messagesLine().view(), "Messages version 1.7 (0C0C/000C)");
  m.setEntry("_MSGxxxx Version", "no colon");
  EXPECT_EQ(m.messagesLine().view(), "Messages (0C0C/000C)");

  EXPECT_EQ(m.manualDirectory().str(), dir.path() + "/manual/0000");
  std::filesystem::create_directories(dir.file("manual/000c"));
  EXPECT_EQ(m.manualDirectory().str(), dir.path() + "/manual/000c");
}

TEST(TranslateFormat, UsesATranslationOnlyWithTheSameConversions) {
  stringMapper().setEntry("*Sent %d of %s", "Envoyé %d de %s");
  stringMapper().setEntry("*Got %ld", "Reçu %s");
  stringMapper().setEntry("*Key %s", "Clé %n");
  stringMapper().setEntry("*Pct %s", "100%% %s");
  EXPECT_EQ(translateFormat("*Sent %d of %s").view(), "Envoyé %d de %s");
  EXPECT_EQ(translateFormat("*Got %ld").view(), "Got %ld");
  EXPECT_EQ(translateFormat("*Key %s").view(), "Key %s");
  EXPECT_EQ(translateFormat("*Pct %s").view(), "100%% %s");
  stringMapper().clear();
}

}  // namespace

namespace {

TEST(StringMapper, ATextWithoutAnEntryIsShownWithoutItsMarker) {
  StringMapper m;
  m.loadMessagesFromText("ORVSERV,*Rejected,Refusée\nORVSERV,*Sent %d of %s,Envoyé %s\n");
  EXPECT_EQ(m.translate("*Rejected").view(), "Refusée");
  EXPECT_EQ(m.translate("*Waiting").view(), "Waiting");
  EXPECT_EQ(m.translate("Plain text").view(), "Plain text");
  EXPECT_EQ(m.translate("*").view(), "*");
  EXPECT_EQ(m.translate("").view(), "");
  EXPECT_TRUE(m.hasEntry("*Rejected"));
  EXPECT_FALSE(m.hasEntry("Rejected"));
  stringMapper().loadMessagesFromText("ORVSERV,*Sent %d of %s,Envoyé %s\n");
  // Neither a missing entry nor one whose conversions differ shows the marker.
  EXPECT_EQ(translateFormat("*Got %ld").view(), "Got %ld");
  EXPECT_EQ(translateFormat("*Sent %d of %s").view(), "Sent %d of %s");
  stringMapper().clear();
}

}  // namespace
