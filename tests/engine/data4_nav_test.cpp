// Navigation, the pending record write, field names and field values.
#include <gtest/gtest.h>

#include "data4_test_util.h"
#include "engine/date4.h"
#include "engine/num4.h"

namespace {

DATA4* tableOf(TestContext& t, const std::string& path, int records) {
  DATA4* d = d4create(&t.c, path, basicFields());
  for (int i = 1; d != nullptr && i <= records; ++i) {
    if (d4appendStart(d, 0) != 0) return nullptr;
    if (f4assign(d4field(d, "NAME"), ("n" + std::to_string(i)).c_str()) != 0 ||
        f4assignDouble(d4field(d, "AMOUNT"), i * 1.5) != 0 || d4append(d) != 0)
      return nullptr;
  }
  return d;
}

}  // namespace

TEST(Data4Nav, SkipPastEndAndBack) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = tableOf(t, dir.file("nav"), 3);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4bottom(d), 0);
  EXPECT_EQ(d4recNo(d), 3);
  EXPECT_EQ(d4skip(d, 1), r4eof);
  EXPECT_TRUE(d4eof(d));
  EXPECT_EQ(d4recNo(d), 4);
  EXPECT_STREQ(f4str(d4field(d, "NAME")), std::string(20, ' ').c_str());
  EXPECT_EQ(d4skip(d, -1), 0);
  EXPECT_EQ(d4recNo(d), 3);
  EXPECT_EQ(d4skip(d, -10), r4bof);
  EXPECT_TRUE(d4bof(d));
  EXPECT_EQ(d4recNo(d), 1);
  EXPECT_EQ(d4go(d, 4), e4read);  // errorOnBadGo
  EXPECT_EQ(error4set(&t.c, 0), e4read);
  EXPECT_EQ(d4recNo(d), -1);
  EXPECT_EQ(d4skip(d, 1), e4info);
  error4set(&t.c, 0);
  t.c.errorOnBadGo = 0;
  EXPECT_EQ(d4go(d, 99), r4entry);
  (void)d4close(d);
}

TEST(Data4Nav, EmptyTable) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = tableOf(t, dir.file("empty"), 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4top(d), r4eof);
  EXPECT_TRUE(d4eof(d) && d4bof(d));
  EXPECT_EQ(d4skip(d, 1), r4eof);
  EXPECT_EQ(d4skip(d, -1), r4bof);
  EXPECT_EQ(d4goEof(d), r4eof);
  (void)d4close(d);
}

TEST(Data4Nav, PendingRecordIsWrittenWhenLeaving) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = tableOf(t, dir.file("pend"), 2);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4go(d, 1), 0);
  ASSERT_EQ(f4assign(d4field(d, "name"), "changed"), 0);
  ASSERT_EQ(f4memoAssign(d4field(d, "NOTES"), "a memo"), 0);
  ASSERT_EQ(d4delete(d), 0);
  ASSERT_EQ(d4skip(d, 1), 0);
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_TRUE(d4deleted(d));
  EXPECT_STREQ(f4memoStr(d4field(d, "NOTES")), "a memo");
  ASSERT_EQ(f4assign(d4field(d, "NAME"), "discarded"), 0);
  ASSERT_EQ(d4refreshRecord(d), 0);
  EXPECT_EQ(std::string(f4str(d4field(d, "NAME"))).substr(0, 7), "changed");
  ASSERT_EQ(d4recall(d), 0);
  ASSERT_EQ(d4close(d), 0);  // close writes it too
  d = d4open(&t.c, dir.file("pend"));
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_FALSE(d4deleted(d));
  (void)d4close(d);
}

TEST(Data4Nav, FieldNamesAndLockEnforce) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = tableOf(t, dir.file("names"), 1);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4fieldNumber(d, "amount  "), 2);
  EXPECT_NE(d4field(d, "notes"), nullptr);
  EXPECT_EQ(d4field(d, "nosuch"), nullptr);
  EXPECT_EQ(error4set(&t.c, 0), e4fieldName);
  t.c.errorOnFieldName = 0;
  EXPECT_EQ(d4fieldNumber(d, "nosuch"), e4fieldName);
  EXPECT_EQ(error4code(&t.c), 0);
  t.c.lockEnforce = 1;
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_EQ(f4assign(d4field(d, "NAME"), "x"), e4lock);
  error4set(&t.c, 0);
  ASSERT_EQ(d4lock(d, 1), 0);
  EXPECT_EQ(f4assign(d4field(d, "NAME"), "x"), 0);
  (void)d4close(d);
}

TEST(Field4, NumbersDatesAndOverflow) {
  ScratchDir dir;
  TestContext t;
  const FIELD4INFO fields[] = {{"N5", 'N', 5, 0, 0}, {"N82", 'N', 8, 2, 0}, {"D", 'D', 8, 0, 0},
                               {"L", 'L', 1, 0, 0},  {"C", 'C', 4, 0, 0},   {nullptr, 0, 0, 0, 0}};
  DATA4* d = d4create(&t.c, dir.file("f"), fields);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  FIELD4* n5 = d4field(d, "N5");
  FIELD4* n82 = d4field(d, "N82");
  ASSERT_EQ(f4assignLong(n5, 123456), 0);
  EXPECT_STREQ(f4str(n5), "*****");
  ASSERT_EQ(f4assignLong(n5, -42), 0);
  EXPECT_STREQ(f4str(n5), "  -42");
  EXPECT_EQ(f4long(n5), -42);
  ASSERT_EQ(f4assignDouble(n82, -3.14159), 0);
  EXPECT_STREQ(f4str(n82), "   -3.14");
  ASSERT_EQ(f4assignDouble(n82, -0.001), 0);
  EXPECT_STREQ(f4str(n82), "    0.00");
  ASSERT_EQ(f4assignLong(n82, 7), 0);
  EXPECT_STREQ(f4str(n82), "    7.00");
  EXPECT_DOUBLE_EQ(f4double(n82), 7.0);
  FIELD4* date = d4field(d, "D");
  ASSERT_EQ(f4assignLong(date, 2451545), 0);
  EXPECT_STREQ(f4str(date), "20000101");
  EXPECT_EQ(f4long(date), 2451545);
  ASSERT_EQ(f4assignLong(date, 0), 0);
  EXPECT_STREQ(f4str(date), "        ");
  EXPECT_EQ(f4assignLong(d4field(d, "L"), 1), e4parm);
  error4set(&t.c, 0);
  ASSERT_EQ(f4assign(d4field(d, "L"), "y"), 0);
  EXPECT_TRUE(f4true(d4field(d, "L")));
  ASSERT_EQ(f4assign(d4field(d, "L"), " "), 0);
  EXPECT_FALSE(f4true(d4field(d, "L")));
  ASSERT_EQ(f4assign(d4field(d, "C"), "toolong"), 0);
  EXPECT_STREQ(f4str(d4field(d, "C")), "tool");
  (void)d4close(d);
}

TEST(Field4, JulianDaysAndTextConversions) {
  EXPECT_EQ(date4long("00010101"), 1721426);
  EXPECT_EQ(date4long("20000101"), 2451545);
  EXPECT_EQ(date4long("        "), 0);
  EXPECT_EQ(date4long("20000230"), -1);
  EXPECT_EQ(date4long("2000 101"), -1);
  EXPECT_EQ(date4dbl("        "), 1e100);
  char out[9] = {};
  date4assign(out, 2451545 + 59);
  EXPECT_STREQ(out, "20000229");
  date4assign(out, -5);
  EXPECT_STREQ(out, "        ");
  EXPECT_DOUBLE_EQ(num4atod("  -12.5xyz", 10), -12.5);
  EXPECT_DOUBLE_EQ(num4atod("abc", 3), 0.0);
  EXPECT_DOUBLE_EQ(num4atod(" -.25", 5), -0.25);
  EXPECT_EQ(num4atol("  77  ", 6), 77);
  EXPECT_EQ(num4atol("123456", 3), 123);  // stops at the field width
  int64_t cy = 0;
  ASSERT_TRUE(num4parseCurrency("-1.23456", 8, &cy));
  EXPECT_EQ(cy, -12346);
}
