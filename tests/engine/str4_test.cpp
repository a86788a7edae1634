// Text views over bytes, owned buffers and fields.
#include "engine/str4.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "data4_test_util.h"

namespace {

std::string text(const Str4& s) { return std::string(s.ptr(), s.len()); }

}  // namespace

TEST(Str4Fixed, ShiftsKeepTheLength) {
  char buf[] = "abcdef";
  Str4len s(buf, 6);
  ASSERT_EQ(s.insert(Str4len("XY"), 1), 0);
  EXPECT_EQ(text(s), "aXYbcd");  // "ef" pushed out
  ASSERT_EQ(s.insert(Str4len("12345"), 4), 0);
  EXPECT_EQ(text(s), "aXYb12");
  ASSERT_EQ(s.remove(1, 2), 0);
  EXPECT_EQ(text(s), "ab12  ");
  ASSERT_EQ(s.remove(4, 99), 0);
  EXPECT_EQ(text(s), "ab12  ");
  ASSERT_EQ(s.insert(s.substr(2, 2), 1), 0);  // source in the shifted bytes
  EXPECT_EQ(text(s), "a12b12");
  ASSERT_EQ(s.add("zz"), 0);  // no room at the end of a fixed view
  EXPECT_EQ(text(s), "a12b12");
  ASSERT_EQ(s.replace(Str4len("QRS"), 4), 0);
  EXPECT_EQ(text(s), "a12bQR");
}

TEST(Str4Fixed, TrimAndCase) {
  char buf[] = {' ', '\0', 'a', '\xe9', 'B', ' ', '\0', ' '};
  Str4len s(buf, 8);
  EXPECT_EQ(text(s.trimmed()), std::string(buf, 5));
  ASSERT_EQ(s.trimLeft(), 0);
  EXPECT_EQ(text(s), std::string("a\xe9" "B \0   ", 8));
  ASSERT_EQ(s.trimRight(), 0);
  EXPECT_EQ(text(s), "a\xe9" "B     ");
  ASSERT_EQ(s.upper(), 0);
  EXPECT_EQ(text(s), "A\xe9" "B     ");  // only ASCII letters change
  ASSERT_EQ(s.lower(), 0);
  EXPECT_EQ(text(s), "a\xe9" "b     ");
  ASSERT_EQ(s.fill('-'), 0);
  EXPECT_EQ(text(s), "--------");
}

TEST(Str4Fixed, AssignPadsOrCuts) {
  char buf[5];
  Str4len s(buf, 5);
  ASSERT_EQ(s.assign("ab"), 0);
  EXPECT_EQ(text(s), "ab   ");
  ASSERT_EQ(s.assign("abcdefgh"), 0);
  EXPECT_EQ(text(s), "abcde");
  ASSERT_EQ(s.assign(s.substr(2, 9)), 0);
  EXPECT_EQ(text(s), "cde  ");
  ASSERT_EQ(s.assign(nullptr), 0);
  EXPECT_EQ(text(s), "     ");
  EXPECT_EQ(s.assign(nullptr, 3), e4parmNull);
  Str4len literal("const");
  EXPECT_EQ(literal.assign("x"), e4parm);
  EXPECT_EQ(literal.substr(1, 2).upper(), e4parm);
  EXPECT_EQ(text(literal), "const");
}

TEST(Str4Growable, FlexTakesLengthAndGrows) {
  Str4flex s;
  ASSERT_EQ(s.assign("abc"), 0);
  EXPECT_EQ(text(s), "abc");
  ASSERT_EQ(s.add(s), 0);  // source moves when the buffer grows
  EXPECT_EQ(text(s), "abcabc");
  ASSERT_EQ(s.replace(Str4len("XY"), 8), 0);
  EXPECT_EQ(text(s), "abcabc  XY");
  ASSERT_EQ(s.insert(Str4len("-"), 0), 0);
  EXPECT_EQ(text(s), "-abcabc  X");
  ASSERT_EQ(s.pad(12), 0);
  ASSERT_EQ(s.pad(3), 0);  // never shrinks
  EXPECT_EQ(text(s), "-abcabc  X  ");
  ASSERT_EQ(s.trimRight(), 0);
  EXPECT_EQ(text(s), "-abcabc  X");
  ASSERT_EQ(s.assign("  y"), 0);
  ASSERT_EQ(s.trimLeft(), 0);
  EXPECT_EQ(text(s), "y");
  EXPECT_STREQ(s.c_str(), "y");
}

TEST(Str4Growable, BoundedBufferKeepsWhatFits) {
  char buf[6];
  Str4max s(buf, 6);
  ASSERT_EQ(s.assign("abcd"), 0);
  EXPECT_EQ(s.len(), 4u);
  ASSERT_EQ(s.add("xyz"), 0);
  EXPECT_EQ(text(s), "abcdxy");
  ASSERT_EQ(s.assign("a"), 0);
  ASSERT_EQ(s.pad(10), 0);
  EXPECT_EQ(text(s), "a     ");
}

TEST(Str4Views, SubstringClampsToSource) {
  char buf[] = "abcdef";
  Str4len s(buf, 6);
  EXPECT_EQ(text(s.substr(4, 10)), "ef");
  EXPECT_EQ(s.substr(9, 2).len(), 0u);
  EXPECT_EQ(text(s.substr(2, 3).substr(1, 5)), "de");
  ASSERT_EQ(s.substr(1, 2).fill('*'), 0);
  EXPECT_EQ(text(s), "a**def");
}

TEST(Str4Numbers, AssignRightJustified) {
  char buf[6];
  Str4len s(buf, 6);
  ASSERT_EQ(s.assignLong(-12), 0);
  EXPECT_EQ(text(s), "   -12");
  ASSERT_EQ(s.assignLong(-12, true), 0);
  EXPECT_EQ(text(s), "-00012");
  ASSERT_EQ(s.assignLong(1234567), 0);
  EXPECT_EQ(text(s), "******");
  ASSERT_EQ(s.assignLong(1234567, true), 0);
  EXPECT_EQ(text(s), "******");
  // Exactly the width, one more, zero, and the extremes of a long.
  for (auto [value, shown] : std::vector<std::pair<long, const char*>>{
           {123456, "123456"}, {-12345, "-12345"}, {-123456, "******"}, {0, "     0"}}) {
    ASSERT_EQ(s.assignLong(value), 0);
    EXPECT_EQ(text(s), shown) << value;
  }
  char wide[21];
  Str4len w(wide, 21);
  ASSERT_EQ(w.assignLong(LONG_MIN), 0);
  EXPECT_EQ(text(w), " -9223372036854775808");
  ASSERT_EQ(w.assignLong(LONG_MAX), 0);
  EXPECT_EQ(text(w), "  9223372036854775807");
  ASSERT_EQ(s.assignDouble(3.14159, 2), 0);
  EXPECT_EQ(text(s), "  3.14");
  ASSERT_EQ(s.assignDouble(-2.5, 2, true), 0);
  EXPECT_EQ(text(s), "-02.50");
  ASSERT_EQ(s.assignDouble(41.6), 0);  // a plain view has 0 decimals
  EXPECT_EQ(text(s), "    42");
  ASSERT_EQ(s.assignDouble(99999.5, 1), 0);
  EXPECT_EQ(text(s), "******");
}

TEST(Str4Numbers, ReadLimits) {
  std::string t = std::string(48, ' ') + "12";
  Str4len s(t.c_str(), static_cast<unsigned>(t.size()));
  EXPECT_EQ(s.toDouble(), 1.0);  // 49 bytes read
  EXPECT_EQ(s.toLong(), 12);
  std::string u = std::string(126, ' ') + "34";
  Str4len v(u.c_str(), static_cast<unsigned>(u.size()));
  EXPECT_EQ(v.toLong(), 3);  // 127 bytes read
  EXPECT_EQ(Str4len("20000101").toJulian(), 2451545);
  EXPECT_EQ(Str4len("20000101  ").toJulian(), 2451545);
  EXPECT_EQ(Str4len("20000101x").toJulian(), -1);
  EXPECT_EQ(Str4len("2000").toJulian(), -1);
  EXPECT_EQ(Str4len("   ").toJulian(), 0);
}

TEST(Str4Compare, BytesThenLength) {
  EXPECT_TRUE(Str4len("ab") < Str4len("abc"));
  EXPECT_FALSE(Str4len("abc") < Str4len("ab"));
  EXPECT_TRUE(Str4len("abc") < Str4len("b"));
  EXPECT_TRUE(Str4len("z") < Str4len("\xe9"));  // unsigned bytes
  EXPECT_FALSE(Str4len("ab") == Str4len("ab "));
  EXPECT_TRUE(Str4len("ab") == Str4len("abc", 2));
  std::string big(300, 'q');
  const char* out = Str4len(big.c_str(), 300).str();
  EXPECT_EQ(std::string(out), std::string(256, 'q'));
  EXPECT_EQ(Str4len("x").str(), out);  // one buffer for every view
}

TEST(Str4Storage, MissingStorageIsRefused) {
  Str4len none(static_cast<char*>(nullptr), 5);
  EXPECT_EQ(none.len(), 0u);
  EXPECT_EQ(none.assign("a"), e4parmNull);
  EXPECT_EQ(none.substr(0, 1).fill('x'), e4parmNull);
  EXPECT_STREQ(none.str(), "");
  Str4max noBuffer(nullptr, 8);
  EXPECT_EQ(noBuffer.add("a"), e4parmNull);
  Str4field unbound;
  EXPECT_EQ(unbound.assign("a"), e4struct);
  EXPECT_EQ(unbound.assignLong(1), e4struct);
  EXPECT_EQ(unbound.trimmed().upper(), e4struct);
  Str4flex target;
  EXPECT_EQ(target.assign(unbound), e4struct);
  EXPECT_EQ(target.add(none), e4parmNull);
}

TEST(Str4Field, LockEnforceAndRecordChanged) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = d4create(&t.c, dir.file("f"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  ASSERT_EQ(d4close(d), 0);
  d = d4open(&t.c, dir.file("f"));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4go(d, 1), 0);
  t.c.lockEnforce = 1;
  Str4field name(d4field(d, "NAME"));
  EXPECT_EQ(name.substr(0, 3).assign("abc"), e4lock);
  EXPECT_EQ(error4set(&t.c, 0), e4lock);
  EXPECT_EQ(d4changed(d, -1), 0);
  EXPECT_EQ(text(name), std::string(20, ' '));

  ASSERT_EQ(d4lock(d, 1), 0);
  ASSERT_EQ(name.assign("Smith"), 0);
  EXPECT_EQ(d4changed(d, -1), 1);
  Str4field amount(d4field(d, "AMOUNT"));
  ASSERT_EQ(amount.assignDouble(12.3456), 0);  // the field's 2 decimals
  EXPECT_EQ(text(amount), "     12.35");
  ASSERT_EQ(d4write(d, -1), 0);
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_STREQ(f4str(d4field(d, "NAME")), "Smith               ");
  (void)d4close(d);
}

TEST(Str4Field, BinaryNumbersAndNullBit) {
  ScratchDir dir;
  TestContext t;
  t.c.fileCompatibility = 30;
  const FIELD4INFO fields[] = {{"B", 'B', 0, 2, 0},
                               {"I", 'I', 0, 0, 0},
                               {"C", 'C', 4, 0, r4null},
                               {nullptr, 0, 0, 0, 0}};
  DATA4* d = d4create(&t.c, dir.file("v"), fields);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(d4blank(d), 0);
  Str4field b(d4field(d, "B")), i(d4field(d, "I")), c(d4field(d, "C"));
  ASSERT_EQ(b.assignDouble(-123456.789), 0);
  EXPECT_DOUBLE_EQ(f4double(d4field(d, "B")), -123456.789);
  EXPECT_STREQ(b.str(), "-123456.79");
  EXPECT_DOUBLE_EQ(b.toDouble(), -123456.789);
  ASSERT_EQ(b.assignDouble(1e300), 0);  // too long for the buffer in "%.2f"
  EXPECT_EQ(std::strtod(b.str(), nullptr), 1e300);
  ASSERT_EQ(i.assignLong(-42), 0);
  EXPECT_EQ(f4long(d4field(d, "I")), -42);
  EXPECT_STREQ(i.str(), "-42");
  EXPECT_EQ(i.toLong(), -42);
  ASSERT_TRUE(f4null(d4field(d, "C")));
  ASSERT_EQ(c.assign("ab"), 0);
  EXPECT_FALSE(f4null(d4field(d, "C")));
  (void)d4close(d);
}
