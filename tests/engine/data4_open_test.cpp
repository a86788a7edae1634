// Opening data files: one test per broken rule of the header and field
// descriptors, the length checks, and the repairs made when not shared.
#include <gtest/gtest.h>

#include "data4_test_util.h"

namespace {

// A table of 3 records, 2 fields (C 10, N 5): header 97, record 16.
class BrokenTable : public ::testing::Test {
 protected:
  void SetUp() override {
    const FIELD4INFO fields[] = {{"NAME", 'C', 10, 0, 0}, {"NUM", 'N', 5, 0, 0}, {nullptr, 0, 0, 0, 0}};
    DATA4* d = d4create(&t.c, path, fields);
    ASSERT_NE(d, nullptr);
    for (int i = 1; i <= 3; ++i) {
      ASSERT_EQ(d4appendStart(d, 0), 0);
      ASSERT_EQ(f4assign(d4field(d, "NAME"), ("row" + std::to_string(i)).c_str()), 0);
      ASSERT_EQ(f4assignLong(d4field(d, "NUM"), i), 0);
      ASSERT_EQ(d4append(d), 0);
    }
    ASSERT_EQ(d4close(d), 0);
    bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 97u + 3 * 16 + 1);
  }

  // Writes the damaged bytes and opens; returns the error code left.
  int openBroken() {
    writeBytes(path, bytes);
    DATA4* d = d4open(&t.c, path);
    if (d != nullptr) {
      (void)d4close(d);
      return 0;
    }
    return error4set(&t.c, 0);
  }

  void put16(size_t at, unsigned v) {
    bytes[at] = v & 0xFF;
    bytes[at + 1] = (v >> 8) & 0xFF;
  }

  ScratchDir dir;
  TestContext t;
  std::string path = dir.file("broken.dbf");
  std::vector<unsigned char> bytes;
};

}  // namespace

TEST_F(BrokenTable, IntactTableOpens) { EXPECT_EQ(openBroken(), 0); }

TEST_F(BrokenTable, TruncatedHeader) {
  bytes.resize(20);
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, RecordLengthZero) {
  put16(10, 0);
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, AbsurdHeaderLength) {
  put16(8, 60000);
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, AbsurdRecordLengthAgainstFileLength) {
  put16(10, 5000);
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, AbsurdRecordCount) {
  bytes[7] = 0x7F;
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, DescriptorsWithoutTerminator) {
  bytes[32 * 2 + 32] = 'X';  // the 0x0D
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, WidthOverflowsRecord) {
  bytes[32 + 32 + 16] = 200;  // NUM width 200 in a 16-byte record
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, WideCharacterWidthOverflowsRecord) {
  bytes[32 + 17] = 0x10;  // NAME width 4096 + 10
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, UnknownFieldType) {
  bytes[32 + 11] = 'Q';
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, VisualFoxProTypeInFoxProFile) {
  bytes[32 + 32 + 11] = 'I';
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, LengthOffByMoreThanOneRecord) {
  bytes.resize(bytes.size() - 2 * 16 - 1);  // two records missing
  EXPECT_EQ(openBroken(), e4data);
  bytes.resize(97 + 3 * 16);
  bytes.insert(bytes.end(), 2 * 16 + 2, ' ');  // two records too many
  EXPECT_EQ(openBroken(), e4data);
}

TEST_F(BrokenTable, ErrorNamesTheFile) {
  static std::string seen;
  t.c.errorHook = [](CODE4*, int, long, const char* t1, const char*, const char*) { seen = t1; };
  bytes[32 + 11] = 'Q';
  EXPECT_EQ(openBroken(), e4data);
  EXPECT_NE(seen.find("broken.dbf"), std::string::npos);
}

TEST_F(BrokenTable, WithOrWithoutEofByteOpensUnchangedInEveryMode) {
  for (char mode : {OPEN4DENY_NONE, OPEN4DENY_RW, OPEN4DENY_WRITE}) {
    for (bool eofByte : {true, false}) {
      auto copy = bytes;
      if (!eofByte) copy.pop_back();
      writeBytes(path, copy);
      t.c.accessMode = mode;
      DATA4* d = d4open(&t.c, path);
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d4recCount(d), 3);
      (void)d4close(d);
      EXPECT_EQ(readBytes(path), copy) << int(mode) << eofByte;
    }
  }
}

TEST_F(BrokenTable, ExclusiveOpenCutsPartialRecord) {
  bytes.pop_back();
  bytes.insert(bytes.end(), 7, 'x');
  writeBytes(path, bytes);
  t.c.accessMode = OPEN4DENY_RW;
  DATA4* d = d4open(&t.c, path);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4recCount(d), 3);
  (void)d4close(d);
  EXPECT_EQ(fileSize(path), 97 + 3 * 16);
}

TEST_F(BrokenTable, ExclusiveOpenLowersCountOfShortFile) {
  bytes.resize(97 + 2 * 16 + 5);  // record 3 only partly there
  writeBytes(path, bytes);
  t.c.accessMode = OPEN4DENY_RW;
  DATA4* d = d4open(&t.c, path);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4recCount(d), 2);
  EXPECT_EQ(d4go(d, 2), 0);
  EXPECT_STREQ(f4str(d4field(d, "NAME")), "row2      ");
  (void)d4close(d);
  auto after = readBytes(path);
  EXPECT_EQ(after[4], 2);
  EXPECT_EQ(after.size(), 97u + 2 * 16);
}

TEST_F(BrokenTable, SharedOpenRepairsNothing) {
  bytes.pop_back();
  bytes.insert(bytes.end(), 7, 'x');
  writeBytes(path, bytes);
  DATA4* d = d4open(&t.c, path);
  ASSERT_NE(d, nullptr);
  (void)d4close(d);
  EXPECT_EQ(readBytes(path), bytes);
}

TEST_F(BrokenTable, MemoBlockPastEndOfMemoFile) {
  ScratchDir other;
  DATA4* d = d4create(&t.c, other.file("m"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4memoAssign(d4field(d, "NOTES"), "hello"), 0);
  ASSERT_EQ(d4append(d), 0);
  ASSERT_EQ(f4assign(d4field(d, "NOTES"), "      9999"), 0);
  ASSERT_EQ(d4write(d, 1), 0);
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_STREQ(f4memoStr(d4field(d, "NOTES")), "");
  EXPECT_EQ(error4set(&t.c, 0), e4memoCorrupt);
  (void)d4close(d);
}

TEST_F(BrokenTable, MemoLengthLargerThanFile) {
  ScratchDir other;
  DATA4* d = d4create(&t.c, other.file("m"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4memoAssign(d4field(d, "NOTES"), "hello"), 0);
  ASSERT_EQ(d4append(d), 0);
  (void)d4close(d);
  auto memo = readBytes(other.file("m.fpt"));
  memo[512 + 4] = 0x7F;  // length 0x7F000005
  writeBytes(other.file("m.fpt"), memo);
  d = d4open(&t.c, other.file("m"));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_EQ(f4memoLen(d4field(d, "NOTES")), 0u);
  EXPECT_EQ(error4set(&t.c, 0), e4memoCorrupt);
  (void)d4close(d);
}

TEST_F(BrokenTable, SecondHandleRules) {
  writeBytes(path, bytes);
  DATA4* a = d4open(&t.c, path);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(d4open(&t.c, path), nullptr);  // singleOpen 1
  EXPECT_EQ(error4set(&t.c, 0), e4instance);
  t.c.singleOpen = 0;
  DATA4* b = d4open(&t.c, dir.file("BROKEN"));  // same file, other case, no extension
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->dataFile, a->dataFile);
  t.c.accessMode = OPEN4DENY_RW;  // the file is open shared: refused
  EXPECT_EQ(d4open(&t.c, path), nullptr);
  EXPECT_EQ(error4set(&t.c, 0), e4instance);
  (void)d4close(b);
  (void)d4close(a);
}
