#include "common/code_page.h"

#include <gtest/gtest.h>

namespace {

struct Sample {
  uint8_t mark;
  const char* utf8;
  const char* stored;  // the bytes Python's codecs give for the same text
};

// One character of each code page that lies outside ASCII, both ways.
const Sample kSamples[] = {
    {0x03, "\xC3\xA9\xE2\x82\xAC", "\xE9\x80"},  // é€ Windows-1252
    {0x00, "\xC3\xBC", "\xFC"},                  // ü no mark: Windows-1252
    {0x01, "\xC3\xA9", "\x82"},                  // é CP437
    {0x02, "\xC3\xA9\xC3\x98", "\x82\x9D"},      // éØ CP850
    {0xC8, "\xC5\x82", "\xB3"},                  // ł CP1250
    {0x64, "\xC5\x82", "\x88"},                  // ł CP852
    {0x65, "\xD0\x96", "\x86"},                  // Ж CP866
    {0x66, "\xC3\xB8", "\x9B"},                  // ø CP865
    {0x67, "\xC3\xB0", "\x8C"},                  // ð CP861
    {0x6A, "\xCE\xA9", "\x97"},                  // Ω CP737
    {0x6B, "\xC5\x9F", "\x9F"},                  // ş CP857
    {0xC9, "\xD0\x96", "\xC6"},                  // Ж CP1251
    {0xCA, "\xC5\x9F", "\xFE"},                  // ş CP1254
    {0xCB, "\xCE\xA9", "\xD9"},                  // Ω CP1253
    {0x7D, "\xD7\x90", "\xE0"},                  // א CP1255
    {0x7E, "\xD8\xA8", "\xC8"},                  // ب CP1256
    {0xCC, "\xC4\x85", "\xE0"},                  // ą CP1257
    {0x7B, "\xE6\x97\xA5\xE6\x9C\xAC", "\x93\xFA\x96\x7B"},  // 日本 CP932
};

TEST(CodePage, EachListedCodePageBothWays) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(testing::Message() << "mark 0x" << std::hex << int(s.mark));
    ASSERT_NE(codePageName(s.mark), nullptr);
    EXPECT_EQ(toCodePage(std::string("a ") + s.utf8 + "\r\n", s.mark), std::string("a ") + s.stored + "\r\n");
    EXPECT_EQ(fromCodePage(std::string("a ") + s.stored + "\r\n", s.mark), std::string("a ") + s.utf8 + "\r\n");
  }
}

TEST(CodePage, MissingCharactersAreTransliteratedElseQuestionMarks) {
  // Polish letters in Windows-1252 lose their marks; the Euro sign spells
  // itself in CP437; typographic quotes exist in 1252 and stay.
  EXPECT_EQ(toCodePage("\xC5\xBB\xC3\xB3\xC5\x82\xC4\x87", 0x03), "Z\xF3l" "c");
  EXPECT_EQ(toCodePage("5 \xE2\x82\xAC", 0x01), "5 EUR");
  EXPECT_EQ(toCodePage("\xE2\x80\x9Cq\xE2\x80\x9D", 0x03), "\x93q\x94");
  // Nothing to transliterate to: a question mark per character.
  EXPECT_EQ(toCodePage("x\xE6\x97\xA5y", 0x03), "x?y");
  // Bytes that are not UTF-8 are never copied into a table.
  EXPECT_EQ(toCodePage("a\xE9z\xC3", 0x03), "a?z?");
  // A mark without a converter takes ASCII only.
  EXPECT_EQ(codePageName(0x68), nullptr);
  EXPECT_EQ(toCodePage("caf\xC3\xA9", 0x68), "cafe");
  EXPECT_EQ(fromCodePage("caf\x82", 0x68), "caf\xEF\xBF\xBD");
}

TEST(CodePage, CutsBetweenCharacters) {
  // Transliterations count whole: "EUR" does not fit in two bytes.
  EXPECT_EQ(toCodePage("ab\xE2\x82\xAC", 0x01, 4), "ab");
  EXPECT_EQ(toCodePage("ab\xE2\x82\xAC", 0x01, 5), "abEUR");
  // A two-byte character of Shift-JIS is never halved.
  EXPECT_EQ(toCodePage("\xE6\x97\xA5\xE6\x9C\xAC", 0x7B, 3), "\x93\xFA");
  EXPECT_EQ(toCodePage("\xC3\xA9t\xC3\xA9", 0x03, 2), "\xE9t");
  EXPECT_EQ(toCodePage("plain ascii", 0x03, 5), "plain");
}

TEST(CodePage, BytesOutsideTheCodePageReadAsReplacementCharacters) {
  // 0x81 and 0x8D have no character in Windows-1252.
  EXPECT_EQ(fromCodePage("a\x81" "b\x8D", 0x03), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  // A lead byte of Shift-JIS at the end, or followed by a byte that cannot
  // end it, is one replacement; what follows reads normally.
  EXPECT_EQ(fromCodePage("x\x93", 0x7B), "x\xEF\xBF\xBD");
  EXPECT_EQ(fromCodePage("\x93\x0Ay", 0x7B), "\xEF\xBF\xBD\ny");
  // Every byte of the single-byte pages that has a character converts.
  std::string all;
  for (int b = 0x20; b < 0x100; ++b) all += static_cast<char>(b);
  std::string utf8 = fromCodePage(all, 0x02);
  EXPECT_EQ(toCodePage(utf8, 0x02), all);
}

}  // namespace
