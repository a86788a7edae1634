// Memo files: the new file, block allocation, rewriting in place or at
// new blocks, empty memos, and memos through the record cycle.
#include <gtest/gtest.h>

#include "data4_test_util.h"

namespace {

uint32_t be32(const std::vector<unsigned char>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

}  // namespace

TEST(Memo4, AllocationAndRewrites) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = d4create(&t.c, dir.file("m"), basicFields());
  ASSERT_NE(d, nullptr);
  auto fpt = readBytes(dir.file("m.fpt"));
  ASSERT_EQ(fpt.size(), 512u);
  EXPECT_EQ(be32(fpt, 0), 1u);
  EXPECT_EQ(fpt[6] << 8 | fpt[7], 512);

  FIELD4* notes = d4field(d, "NOTES");
  ASSERT_EQ(d4appendBlank(d), 0);
  ASSERT_EQ(d4go(d, 1), 0);
  ASSERT_EQ(f4memoAssign(notes, std::string(600, 'a').c_str()), 0);
  ASSERT_EQ(d4write(d, -1), 0);
  EXPECT_EQ(f4long(notes), 1);
  fpt = readBytes(dir.file("m.fpt"));
  EXPECT_EQ(be32(fpt, 0), 3u);  // two blocks used
  EXPECT_EQ(fpt.size(), 1536u);
  EXPECT_EQ(be32(fpt, 512), 1u);
  EXPECT_EQ(be32(fpt, 516), 600u);

  ASSERT_EQ(f4memoAssign(notes, std::string(500, 'b').c_str()), 0);
  ASSERT_EQ(d4write(d, -1), 0);
  EXPECT_EQ(f4long(notes), 1);  // fits the old entry's blocks
  ASSERT_EQ(f4memoAssign(notes, std::string(1100, 'c').c_str()), 0);
  ASSERT_EQ(d4write(d, -1), 0);
  EXPECT_EQ(f4long(notes), 3);
  fpt = readBytes(dir.file("m.fpt"));
  EXPECT_EQ(be32(fpt, 0), 6u);
  EXPECT_EQ(fpt.size() % 512, 0u);

  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_EQ(std::string(f4memoStr(notes)), std::string(1100, 'c'));
  ASSERT_EQ(f4memoAssign(notes, ""), 0);
  ASSERT_EQ(d4write(d, -1), 0);
  EXPECT_STREQ(f4str(notes), "          ");
  d4close(d);
}

TEST(Memo4, EmptyMemoInVisualFoxProIsZero) {
  ScratchDir dir;
  TestContext t;
  t.c.fileCompatibility = 30;
  DATA4* d = d4create(&t.c, dir.file("v"), basicFields());
  ASSERT_NE(d, nullptr);
  FIELD4* notes = d4field(d, "NOTES");
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4memoAssign(notes, "x"), 0);
  ASSERT_EQ(d4append(d), 0);
  EXPECT_EQ(f4long(notes), 1);
  ASSERT_EQ(d4appendBlank(d), 0);  // a new record gets no memo: 0
  EXPECT_EQ(std::string(f4ptr(notes), 4), std::string(4, '\0'));
  ASSERT_EQ(d4go(d, 1), 0);
  ASSERT_EQ(f4memoAssign(notes, ""), 0);
  ASSERT_EQ(d4write(d, -1), 0);
  EXPECT_EQ(std::string(f4ptr(notes), 4), std::string(4, '\0'));
  d4close(d);
}

TEST(Memo4, AppendStartCopiesMemosAsNewEntries) {
  ScratchDir dir;
  TestContext t;
  t.c.memoBlockSize = 10;  // raised to 33
  DATA4* d = d4create(&t.c, dir.file("c"), basicFields());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->dataFile->memo.blockSize, 33u);
  FIELD4* notes = d4field(d, "NOTES");
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4memoAssign(notes, "original"), 0);
  ASSERT_EQ(d4append(d), 0);
  long first = f4long(notes);
  ASSERT_EQ(d4appendStart(d, 1), 0);
  ASSERT_EQ(d4append(d), 0);
  long second = f4long(notes);
  EXPECT_NE(first, second);
  ASSERT_EQ(f4memoAssign(notes, "copy changed"), 0);
  ASSERT_EQ(d4go(d, 1), 0);
  EXPECT_STREQ(f4memoStr(notes), "original");
  ASSERT_EQ(d4go(d, 2), 0);
  EXPECT_STREQ(f4memoStr(notes), "copy changed");
  d4close(d);
}
