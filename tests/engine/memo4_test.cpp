// Memo files: the new file, block allocation, rewriting in place or at
// new blocks, empty memos, and memos through the record cycle.
#include <gtest/gtest.h>

#include "data4_test_util.h"
#include "platform/fault_file.h"

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
  (void)d4close(d);
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
  (void)d4close(d);
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
  (void)d4close(d);
}

// The changed memos of one record are allocated together: consecutive
// entries, one lock of the memo header, one write for the new entries.
// A failed write stores no new reference.
TEST(Memo4, ChangedMemosOfARecordAreWrittenTogether) {
  ScratchDir dir;
  FaultFileSystem fs;
  TestContext t;
  t.c.fileSystem = &fs;
  const FIELD4INFO fields[] = {{"A", 'M', 10, 0, 0}, {"B", 'M', 10, 0, 0}, {"C", 'M', 10, 0, 0},
                               {nullptr, 0, 0, 0, 0}};
  DATA4* d = d4create(&t.c, dir.file("three"), fields);
  ASSERT_NE(d, nullptr);
  FIELD4* m[3] = {d4field(d, "A"), d4field(d, "B"), d4field(d, "C")};
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4memoAssign(m[0], std::string(600, 'a').c_str()), 0);  // two blocks
  ASSERT_EQ(f4memoAssign(m[2], "c"), 0);
  fs.reset();
  ASSERT_EQ(d4append(d), 0);
  EXPECT_EQ(f4long(m[0]), 1);
  EXPECT_EQ(f4long(m[1]), 0);
  EXPECT_EQ(f4long(m[2]), 3);
  // Append lock, record lock, one memo header lock.
  EXPECT_EQ(fs.locks, 3);
  auto fpt = readBytes(dir.file("three.fpt"));
  EXPECT_EQ(be32(fpt, 0), 4u);
  EXPECT_EQ(fpt.size(), 2048u);
  EXPECT_EQ(be32(fpt, 3 * 512 + 4), 1u);

  // A rewrite: A fits in place, B and C get new blocks (C's one block is
  // too small now); the write of the new entries fails.
  ASSERT_EQ(d4go(d, 1), 0);
  ASSERT_EQ(f4memoAssign(m[0], "short"), 0);
  ASSERT_EQ(f4memoAssign(m[1], "b"), 0);
  ASSERT_EQ(f4memoAssign(m[2], std::string(900, 'c').c_str()), 0);
  fs.reset();
  fs.failWrite = 2;  // the first is A in place, the second the new entries
  EXPECT_NE(d4write(d, -1), 0);
  EXPECT_EQ(f4long(m[1]), 0);
  EXPECT_EQ(f4long(m[2]), 3);
  EXPECT_EQ(readBytes(dir.file("three.fpt")).size(), 2048u);
  (void)d4close(d);
}

TEST(Memo4, NewEntriesArePaddedWithZerosAfterALongerOne) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = d4create(&t.c, dir.file("pad"), basicFields());
  ASSERT_NE(d, nullptr);
  FIELD4* notes = d4field(d, "NOTES");
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4memoAssign(notes, std::string(1000, 'a').c_str()), 0);  // blocks 1 and 2
  ASSERT_EQ(d4append(d), 0);
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4memoAssign(notes, "x"), 0);  // block 3
  ASSERT_EQ(d4append(d), 0);
  EXPECT_EQ(f4long(notes), 3);
  auto fpt = readBytes(dir.file("pad.fpt"));
  ASSERT_EQ(fpt.size(), 4 * 512u);
  EXPECT_EQ(be32(fpt, 3 * 512 + 4), 1u);
  EXPECT_EQ(fpt[3 * 512 + 8], 'x');
  for (size_t at = 3 * 512 + 9; at < fpt.size(); ++at) ASSERT_EQ(fpt[at], 0) << "byte " << at;
  (void)d4close(d);
}
