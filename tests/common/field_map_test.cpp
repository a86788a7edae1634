#include "common/field_map.h"

#include <gtest/gtest.h>

#include <climits>

#include "common/tagged_text.h"
#include "common/version.h"

namespace {

TEST(FieldMap, NumbersTravelAsDecimalTextAndJunkReadsAsZero) {
  FieldMap m;
  EXPECT_EQ(m.get(7).view(), "");
  m.setNumber(7, -42);
  EXPECT_EQ(m.get(7).view(), "-42");
  EXPECT_EQ(m.getNumber(7), -42);
  m.set(8, "abc");
  EXPECT_EQ(m.getNumber(8), 0);
  EXPECT_EQ(m.getNumber(9), 0);
  EXPECT_EQ(decimalValue("  12abc"), 12);
  EXPECT_EQ(decimalValue("+5"), 5);
  EXPECT_EQ(decimalValue("- 5"), 0);
  EXPECT_EQ(decimalValue("99999999999999999999999"), LONG_MAX);
  EXPECT_EQ(decimalValue("-99999999999999999999999"), LONG_MIN);
  EXPECT_EQ(decimalValue("-9223372036854775808"), LONG_MIN);
}

TEST(TaggedText, FirstTagAnywhereWinsAndRunsToTheTerminator) {
  stringT text = "[101] pop.example\n[151] 5 [152] inside\n[152] title\n[103]  spaced \n[104] no end";
  FieldMap m;
  m.set(104, "kept");
  EXPECT_EQ(extractTagged(text, 0, 208, "\n", m), 4u);
  EXPECT_EQ(m.get(101).view(), "pop.example");
  EXPECT_EQ(m.get(151).view(), "5 [152] inside");
  EXPECT_EQ(m.get(152).view(), "inside");
  EXPECT_EQ(m.get(103).view(), " spaced ");
  EXPECT_EQ(m.get(104).view(), "kept");  // a tag with no line end after it gives nothing
}

TEST(TaggedText, OnlyPlainDecimalTagsInRangeCount) {
  stringT text = "[0101] zero;;[101]x;;[[101] real;;[99] low;;[102] ;;[5000000000] big;;";
  FieldMap m;
  extractTagged(text, 100, 103, ";;", m);
  EXPECT_EQ(m.get(101).view(), "real");
  EXPECT_TRUE(m.contains(102));
  EXPECT_EQ(m.get(102).view(), "");
  EXPECT_FALSE(m.contains(99));
  EXPECT_EQ(taggedValue(text, 101, ";;")->view(), "real");
  EXPECT_FALSE(taggedValue(text, 103, ";;").has_value());
  EXPECT_EQ(taggedLine(7, "v", "\n").view(), "[7] v\n");
}

TEST(TaggedText, ManyTagsWithoutTerminatorStayLinear) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "[" + std::to_string(100 + i % 50) + "] ";
  FieldMap m;
  EXPECT_EQ(extractTagged(stringT(text), 0, 1 << 30, "\n", m), 0u);
}

TEST(Version, ParsesFourPartsAndComparesFromTheLeft) {
  auto v = Version::parse(" 2.9.0.10 ");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->toString().view(), "2.9.0.10");
  EXPECT_LT(*Version::parse("1.2.0.0"), *v);
  EXPECT_LT(*Version::parse("2.9.0.9"), *v);
  EXPECT_EQ(*Version::parse("4294967295.0.0.0"), (Version{{4294967295u, 0, 0, 0}}));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1..2.3", "4294967296.0.0.0", "1.2.3.4x", "a.b.c.d"})
    EXPECT_FALSE(Version::parse(bad)) << bad;
}

}  // namespace
