// Creating tables: header layout of both formats, every field type, and
// values of each type read back.
#include <gtest/gtest.h>

#include <cstring>

#include "data4_test_util.h"
#include "engine/date4.h"

TEST(Data4Create, FoxProWithMemoLayoutAndFirstAppend) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = d4create(&t.c, dir.file("t1"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4close(d), 0);
  auto bytes = readBytes(dir.file("t1.dbf"));
  int fields = 5;
  int header = 32 * fields + 33;
  ASSERT_EQ(bytes.size(), size_t(header + 1));
  EXPECT_EQ(bytes[0], 0xF5);
  EXPECT_EQ(bytes[8] | (bytes[9] << 8), header);
  EXPECT_EQ(bytes[10] | (bytes[11] << 8), 1 + 20 + 10 + 8 + 1 + 10);
  EXPECT_EQ(bytes[28], 0);
  EXPECT_EQ(bytes[32 * fields + 32], 0x0D);
  EXPECT_EQ(bytes[32 * fields + 33], 0x1A);
  // Descriptor of NOTES: offset 40, width 10.
  const unsigned char* notes = &bytes[32 + 4 * 32];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(notes)), "NOTES");
  EXPECT_EQ(notes[11], 'M');
  EXPECT_EQ(notes[12], 40);
  EXPECT_EQ(notes[16], 10);

  d = d4open(&t.c, dir.file("t1"));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  ASSERT_EQ(d4close(d), 0);
  bytes = readBytes(dir.file("t1.dbf"));
  EXPECT_EQ(bytes.size(), size_t(header + 50 + 1));
  EXPECT_EQ(bytes.back(), 0x1A);
  EXPECT_EQ(bytes[4], 1);
  EXPECT_EQ(fileSize(dir.file("t1.fpt")), 512);
}

TEST(Data4Create, VisualFoxProEveryTypeWithNullFlags) {
  ScratchDir dir;
  TestContext t;
  t.c.fileCompatibility = 30;
  t.c.codePageMark = 3;
  const FIELD4INFO fields[] = {
      {"C", 'C', 300, 0, r4null}, {"N", 'N', 8, 2, 0}, {"D", 'D', 0, 0, r4null},
      {"L", 'L', 0, 0, 0},        {"M", 'M', 0, 0, 0}, {"B", 'B', 0, 3, 0},
      {"I", 'I', 0, 0, 0},        {"T", 'T', 0, 0, 0}, {"Y", 'Y', 0, 0, 0},
      {"X", 'X', 0, 0, 0},        {"Z", 'Z', 5, 0, 0}, {nullptr, 0, 0, 0, 0}};
  DATA4* d = d4create(&t.c, dir.file("vfp.dbf"), fields);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4numFields(d), 11);
  EXPECT_EQ(f4type(d4field(d, "x")), 'X');
  EXPECT_EQ(f4type(d4field(d, "z")), 'Z');
  EXPECT_EQ(f4type(d4field(d, "m")), 'M');
  EXPECT_EQ(f4len(d4field(d, "C")), 300u);
  ASSERT_EQ(d4close(d), 0);
  auto bytes = readBytes(dir.file("vfp.dbf"));
  int n = 12;  // with _NullFlags
  EXPECT_EQ(bytes[0], '0');
  EXPECT_EQ(bytes[8] | (bytes[9] << 8), 32 * n + 296);
  EXPECT_EQ(bytes[28], 0x02);
  EXPECT_EQ(bytes[29], 3);
  const unsigned char* nf = &bytes[32 + 11 * 32];
  EXPECT_STREQ(reinterpret_cast<const char*>(nf), "_NullFlags");
  EXPECT_EQ(nf[11], '0');
  EXPECT_EQ(nf[16], 1);
  EXPECT_EQ(nf[18], 5);
  EXPECT_EQ(bytes[32 + 0 * 32 + 16], 300 & 0xFF);  // C width, low byte
  EXPECT_EQ(bytes[32 + 0 * 32 + 17], 300 >> 8);
  EXPECT_EQ(bytes[32 + 0 * 32 + 18], 2);  // nullable
  EXPECT_EQ(bytes[32 * n + 32], 0x0D);
  EXPECT_EQ(bytes.size(), size_t(32 * n + 296));  // no 0x1A in a VFP file
}

TEST(Data4Create, VisualFoxProValuesRoundTrip) {
  ScratchDir dir;
  TestContext t;
  t.c.fileCompatibility = 30;
  const FIELD4INFO fields[] = {{"B", 'B', 0, 2, 0}, {"I", 'I', 0, 0, 0}, {"Y", 'Y', 0, 0, 0},
                               {"M", 'M', 0, 0, r4null}, {"C", 'C', 4, 0, r4null},
                               {nullptr, 0, 0, 0, 0}};
  DATA4* d = d4create(&t.c, dir.file("v"), fields);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(d4blank(d), 0);
  EXPECT_TRUE(f4null(d4field(d, "C")));
  ASSERT_EQ(f4assignDouble(d4field(d, "B"), -2.5), 0);
  ASSERT_EQ(f4assignLong(d4field(d, "I"), -123456), 0);
  ASSERT_EQ(f4assignCurrency(d4field(d, "Y"), "12.34567"), 0);
  ASSERT_EQ(f4memoAssign(d4field(d, "M"), "memo text"), 0);
  ASSERT_EQ(f4assign(d4field(d, "C"), "ab"), 0);
  EXPECT_FALSE(f4null(d4field(d, "C")));
  ASSERT_EQ(d4append(d), 0);
  ASSERT_EQ(d4close(d), 0);

  d = d4open(&t.c, dir.file("v"));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_DOUBLE_EQ(f4double(d4field(d, "B")), -2.5);
  EXPECT_EQ(f4long(d4field(d, "I")), -123456);
  EXPECT_DOUBLE_EQ(f4double(d4field(d, "Y")), 12.3457);
  EXPECT_STREQ(f4memoStr(d4field(d, "M")), "memo text");
  EXPECT_FALSE(f4null(d4field(d, "M")));
  EXPECT_EQ(f4long(d4field(d, "M")), 1);  // first block after the 512-byte header
  (void)d4close(d);
}

TEST(Data4Create, RefusedFieldListsAndReplacement) {
  ScratchDir dir;
  TestContext t;
  const FIELD4INFO intIn2x[] = {{"I", 'I', 4, 0, 0}, {nullptr, 0, 0, 0, 0}};
  EXPECT_EQ(d4create(&t.c, dir.file("a"), intIn2x), nullptr);
  EXPECT_EQ(error4set(&t.c, 0), e4data);
  const FIELD4INFO unknown[] = {{"Q", 'Q', 4, 0, 0}, {nullptr, 0, 0, 0, 0}};
  EXPECT_EQ(d4create(&t.c, dir.file("a"), unknown), nullptr);
  EXPECT_EQ(error4set(&t.c, 0), e4data);
  const FIELD4INFO tooLong[] = {{"A", 'C', 65000, 0, 0}, {"B", 'C', 600, 0, 0}, {nullptr, 0, 0, 0, 0}};
  EXPECT_EQ(d4create(&t.c, dir.file("a"), tooLong), nullptr);
  EXPECT_EQ(error4set(&t.c, 0), e4recordLen);

  // createSafety 1 refuses to replace; 0 replaces.
  DATA4* d = d4create(&t.c, dir.file("same"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  ASSERT_EQ(d4close(d), 0);
  EXPECT_EQ(d4create(&t.c, dir.file("same"), basicFields()), nullptr);
  EXPECT_EQ(error4set(&t.c, 0), e4create);
  t.c.createSafety = 0;
  remove(dir.file("same.fpt").c_str());
  d = d4create(&t.c, dir.file("same"), basicFields());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4recCount(d), 0);
  (void)d4close(d);
}

TEST(Data4Create, TemporaryTableIsRemovedOnClose) {
  ScratchDir dir;
  TestContext t;
  std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  DATA4* d = d4create(&t.c, "", basicFields());
  ASSERT_NE(d, nullptr);
  std::string name = d->dataFile->file.name;
  EXPECT_EQ(name.rfind("TEMP", 0), 0u);
  EXPECT_TRUE(std::filesystem::exists(name));
  ASSERT_EQ(d4appendBlank(d), 0);
  (void)d4close(d);
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  std::filesystem::current_path(cwd);
}
