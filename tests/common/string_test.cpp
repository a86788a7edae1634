#include "common/string.h"

#include <gtest/gtest.h>

TEST(StringT, ConcatenationAndSubstringsReadTheRightBytes) {
  stringT a("Hello, ");
  stringT b("world");
  stringT c = a + b;
  EXPECT_EQ(c.view(), "Hello, world");
  EXPECT_EQ(c[7], 'w');
  EXPECT_EQ(c.substr(7, 3).view(), "wor");
  EXPECT_STREQ(c.substr(0, 5).c_str(), "Hello");
  EXPECT_EQ(c.substr(100).view(), "");
  EXPECT_EQ(c.right(5).view(), "world");
}

TEST(StringT, LongChainsOfAppendsStayFlatEnough) {
  stringT s;
  for (int i = 0; i < 100000; ++i) s += stringT("x");
  EXPECT_EQ(s.length(), 100000u);
  EXPECT_EQ(s[99999], 'x');
}

TEST(StringT, HoldsNulBytesAndComparesByBytes) {
  stringT a(std::string("a\0b", 3));
  EXPECT_EQ(a.length(), 3u);
  EXPECT_LT(stringT("abc"), stringT("abd"));
  EXPECT_EQ(stringT("MiXeD").upper().view(), "MIXED");
  EXPECT_EQ(stringT("a\r\nb\r\n").replaceAll("\r\n", " : ").view(), "a : b : ");
}

TEST(StringT, RefusesTextsLongerThanTheRopeAllows) {
  stringT half(std::string(stringT::kMaxLength / 2 + 1, 'a'));
  try {
    stringT whole = half + half;
    FAIL() << "no length error";
  } catch (const std::length_error& e) {
    EXPECT_STREQ(e.what(), "rope too long");
  }
}
