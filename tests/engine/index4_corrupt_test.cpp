// Damaged index files: one test per broken rule. Each must end in -310 (or
// another engine error), never a crash, a hang or an unbounded allocation.
#include <gtest/gtest.h>

#include "cdx_test_bytes.h"
#include "data4_test_util.h"
#include "engine/cdx_format.h"
#include "engine/i4check.h"
#include "engine/index4.h"

namespace {

class Index4Corrupt : public ::testing::Test {
 protected:
  void SetUp() override {
    const FIELD4INFO fields[] = {{"NAME", 'C', 20, 0, 0}, {nullptr, 0, 0, 0, 0}};
    const TAG4INFO tags[] = {{"NAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    DATA4* d = d4create(&tc.c, dir.file("t.dbf"), fields, tags);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 400; i++) {
      char name[24];
      snprintf(name, sizeof name, "name %05d", i * 7919 % 1000);
      ASSERT_EQ(d4appendStart(d, 0), 0);
      ASSERT_EQ(f4assign(d4field(d, "NAME"), name), 0);
      ASSERT_EQ(d4append(d), 0);
    }
    (void)d4close(d);
    bytes = readBytes(dir.file("t.cdx"));
    // The tag header is at 1024; its root is an interior node (400 keys of
    // 20 bytes do not fit one leaf).
    tagHeader = 1024;
    root = cdx::getLE32(&bytes[tagHeader]);
    firstChild = cdx::getBE32(&bytes[root + 12 + 20 + 4]);
    secondChild = cdx::getBE32(&bytes[root + 12 + 28 + 20 + 4]);
    ASSERT_EQ(cdx::getLE16(&bytes[root]) & 2, 0) << "root should be interior";
  }
  void save() { writeBytes(dir.file("t.cdx"), bytes); }
  // Opens the table (with its index) and walks the tag; returns the first
  // failure code, or 0 when everything worked.
  int openAndWalk() {
    DATA4* d = d4open(&tc.c, dir.file("t.dbf"));
    if (!d) return error4code(&tc.c);
    int rc = 0;
    TAG4* t = d4tag(d, "NAME");
    if (!t) rc = error4code(&tc.c);
    if (t) {
      d4tagSelect(d, t);
      int steps = 0;
      for (rc = d4top(d); rc == 0 && steps < 100000; rc = d4skip(d, 1)) steps++;
      EXPECT_LT(steps, 100000) << "walk did not end";
      if (rc == r4eof) rc = d4seek(d, "name 00500");
      if (rc >= 0 && rc != r4eof) rc = 0;
    }
    int saved = error4set(&tc.c, 0);
    (void)d4close(d);
    return rc < 0 ? rc : saved;
  }
  ScratchDir dir;
  TestContext tc;
  std::vector<unsigned char> bytes;
  uint32_t tagHeader = 0, root = 0, firstChild = 0, secondChild = 0;
};

TEST_F(Index4Corrupt, IntactFileWalks) { EXPECT_EQ(openAndWalk(), 0); }

// Separators out of place leave the file readable, but descents miss
// entries: the check reports them.
std::string checkReport(TestContext& tc, const std::string& file) {
  DATA4* d = d4open(&tc.c, file);
  if (!d) return "not opened";
  std::string report;
  int rc = i4check(d, [&](const std::string& s) { report += s + "\n"; });
  (void)d4close(d);
  return std::to_string(rc) + " " + report;
}

TEST_F(Index4Corrupt, SeparatorBelowTheLastEntryOfItsChild) {
  std::fill(&bytes[root + 12], &bytes[root + 12 + 20], '!');
  save();
  EXPECT_NE(checkReport(tc, dir.file("t.dbf")).find("1 tag NAME: node " + std::to_string(root) +
                                                    ": separator below the last entry of node " +
                                                    std::to_string(firstChild)),
            std::string::npos);
}

TEST_F(Index4Corrupt, NodeReachedTwiceIsReportedOnce) {
  cdx::putBE32(&bytes[root + 12 + 28 + 20 + 4], firstChild);
  save();
  std::string report = checkReport(tc, dir.file("t.dbf"));
  EXPECT_NE(report.find("node " + std::to_string(firstChild) + " is reached twice"), std::string::npos) << report;
}

TEST_F(Index4Corrupt, ChildStartingAtOrBelowTheSeparatorBeforeIt) {
  std::fill(&bytes[root + 12], &bytes[root + 12 + 20], '~');
  save();
  EXPECT_NE(checkReport(tc, dir.file("t.dbf")).find("1 tag NAME: node " + std::to_string(root) + ": node " +
                                                    std::to_string(secondChild) +
                                                    " starts at or below the separator before it"),
            std::string::npos);
}

TEST_F(Index4Corrupt, DirectoryRootZero) {
  cdx::putLE32(&bytes[0], 0);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, DirectoryOptionsNotCompact) {
  bytes[14] = 0x10;
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, TagHeaderOffsetPastTheEnd) {
  // The directory leaf's single entry points at the tag header; move it away.
  uint32_t dirLeaf = cdx::getLE32(&bytes[0]);
  bytes[dirLeaf + 24] = 0xFF;
  bytes[dirLeaf + 25] = 0xFF;
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, KeyLengthDoesNotMatchTheExpression) {
  cdx::putLE16(&bytes[tagHeader + 12], 19);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, UnknownCollation) {
  memcpy(&bytes[tagHeader + 494], "GENERAL", 7);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, NodeKeyCountBeyondTheBlock) {
  cdx::putLE16(&bytes[root + 2], 200);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

// One entry more than an interior node holds: the last would end past the
// node (entries of 20 key bytes and 8 more, from offset 12).
TEST_F(Index4Corrupt, InteriorKeyCountOnePastTheNode) {
  cdx::putLE16(&bytes[root + 2], uint16_t((cdx::kBlock - 12) / 28 + 1));
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, LeafFreeBytesPastTheNode) {
  cdx::putLE16(&bytes[firstChild + 12], 0xFFFF);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

// Entries that claim no duplicate or trailing bytes need whole 20-byte key
// tails; taken at their word, the tails would run below the entries.
TEST_F(Index4Corrupt, LeafKeyTailsPastTheNode) {
  uint8_t entrySize = bytes[firstChild + 23];
  uint8_t recBits = bytes[firstChild + 20];
  uint16_t count = cdx::getLE16(&bytes[firstChild + 2]);
  for (uint16_t i = 0; i < count; i++) {
    size_t at = firstChild + 24 + size_t(i) * entrySize;
    for (int k = recBits / 8; k < entrySize; k++)  // keep the record number's bits only
      bytes[at + size_t(k)] &= uint8_t(k == recBits / 8 ? (1u << (recBits % 8)) - 1 : 0);
  }
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, LeafParametersDoNotFit) {
  bytes[firstChild + 20] = 60;  // record-number bits beyond the entry size
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, LeafKeyCountBeyondTheBlock) {
  cdx::putLE16(&bytes[firstChild + 2], 500);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, SiblingCycle) {
  cdx::putLE32(&bytes[secondChild + 8], firstChild);  // right link back to the first leaf
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, ChildOffsetPastTheEnd) {
  cdx::putBE32(&bytes[root + 12 + 24], 0x7FFFFE00);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, ChildOffsetNotOnABlock) {
  cdx::putBE32(&bytes[root + 12 + 24], firstChild + 3);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

TEST_F(Index4Corrupt, ChildPointsBackAtTheRoot) {
  cdx::putBE32(&bytes[root + 12 + 24], root);
  save();
  EXPECT_EQ(openAndWalk(), e4index);
}

// Appends until one fails or a limit; returns the first failure.
int appendUntilFailure(DATA4* d, int limit) {
  int rc = 0;
  for (int i = 0; i < limit && rc == 0; i++) {
    char name[24];
    snprintf(name, sizeof name, "name %05d more", 1000 + i);
    rc = d4appendStart(d, 0);
    if (rc == 0) rc = f4assign(d4field(d, "NAME"), name);
    if (rc == 0) rc = d4append(d);
  }
  return rc;
}

// After a refused allocation the index still holds every record's key: the
// check passes and each name is found again.
void expectEveryKeyIndexed(TestContext& tc, const std::string& table) {
  DATA4* d = d4open(&tc.c, table);
  ASSERT_NE(d, nullptr);
  std::string report;
  EXPECT_EQ(i4check(d, [&](const std::string& s) { report += s + "\n"; }), 0) << report;
  d4tagSelect(d, d4tag(d, "NAME"));
  int32_t count = d4recCount(d);
  EXPECT_GE(count, 400);
  int missing = 0;
  for (int32_t r = 1; r <= count; r++) {
    ASSERT_EQ(d4go(d, r), 0);
    std::string name(f4ptr(d4field(d, "NAME")), 20);
    if (d4seek(d, name.c_str()) != 0) missing++;
  }
  EXPECT_EQ(missing, 0);
  error4set(&tc.c, 0);
  (void)d4close(d);
}

// A free-list head the file does not reach: the allocation of a split's
// new node fails, and the leaf that was to split keeps its entries.
TEST_F(Index4Corrupt, FreeListHeadPastTheEnd) {
  cdx::putLE32(&bytes[4], 0x7FFFF000);
  save();
  DATA4* d = d4open(&tc.c, dir.file("t.dbf"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(appendUntilFailure(d, 400), e4read);
  error4set(&tc.c, 0);
  (void)d4close(d);
  error4set(&tc.c, 0);
  expectEveryKeyIndexed(tc, dir.file("t.dbf"));
}

// A free-list head at a node in use (the root, a child, a tag header) is
// refused as a damaged index instead of being handed out as a new node.
TEST_F(Index4Corrupt, FreeListHeadInUse) {
  const std::vector<unsigned char> intact = bytes, table = readBytes(dir.file("t.dbf"));
  for (uint32_t head : {root, firstChild, secondChild, tagHeader}) {
    bytes = intact;
    writeBytes(dir.file("t.dbf"), table);
    cdx::putLE32(&bytes[4], head);
    save();
    DATA4* d = d4open(&tc.c, dir.file("t.dbf"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(appendUntilFailure(d, 400), e4index) << "head " << head;
    error4set(&tc.c, 0);
    (void)d4close(d);
    error4set(&tc.c, 0);
    expectEveryKeyIndexed(tc, dir.file("t.dbf"));
  }
}

// A free block whose link leads back to itself would be handed out twice.
TEST_F(Index4Corrupt, FreeListLoop) {
  uint32_t block = uint32_t(bytes.size());
  bytes.resize(bytes.size() + 512, 0);
  cdx::putLE32(&bytes[block], block);
  cdx::putLE32(&bytes[4], block);
  save();
  DATA4* d = d4open(&tc.c, dir.file("t.dbf"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(appendUntilFailure(d, 400), e4index);
  error4set(&tc.c, 0);
  (void)d4close(d);
  error4set(&tc.c, 0);
  expectEveryKeyIndexed(tc, dir.file("t.dbf"));
}

TEST_F(Index4Corrupt, TruncatedFile) {
  bytes.resize(root + 100);
  save();
  EXPECT_LT(openAndWalk(), 0);
}

}  // namespace
