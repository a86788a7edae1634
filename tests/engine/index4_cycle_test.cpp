// Index files whose sibling or child pointers form a cycle, with every
// back-link consistent (so the link checks alone do not see it). Every walk
// must end with -310 naming the index file, never run on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cdx_test_bytes.h"
#include "data4_test_util.h"
#include "engine/cdx_format.h"
#include "engine/index4.h"

namespace {

constexpr int kRecords = 3000;
constexpr int kStepLimit = 3 * kRecords;

class Index4Cycle : public ::testing::Test {
 protected:
  void SetUp() override {
    tc.c.errorHookData = &reported;
    tc.c.errorHook = [](CODE4* c, int, long, const char* a, const char* b, const char* x) {
      auto* out = static_cast<std::string*>(c->errorHookData);
      for (const char* t : {a, b, x})
        if (t != nullptr) *out += std::string(t) + "\n";
    };
    const FIELD4INFO fields[] = {{"NAME", 'C', 20, 0, 0}, {nullptr, 0, 0, 0, 0}};
    const TAG4INFO tags[] = {{"NAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    DATA4* d = d4create(&tc.c, dir.file("t.dbf"), fields, tags);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < kRecords; i++) {
      char name[24];
      snprintf(name, sizeof name, "name %05d", i);
      ASSERT_EQ(d4appendStart(d, 0), 0);
      ASSERT_EQ(f4assign(d4field(d, "NAME"), name), 0);
      ASSERT_EQ(d4append(d), 0);
    }
    (void)d4close(d);
    bytes = readBytes(dir.file("t.cdx"));
    root = cdx::getLE32(&bytes[1024]);
    // The leaves in tag order, from the leftmost one along the right links.
    uint32_t node = root;
    while (!(cdx::getLE16(&bytes[node]) & 2)) {
      if (node != root) interior = node;
      node = cdx::getBE32(&bytes[node + 12 + 20 + 4]);  // first entry's child
    }
    for (; node != 0xFFFFFFFFu; node = cdx::getLE32(&bytes[node + 8])) leaves.push_back(node);
    ASSERT_GE(leaves.size(), 6u);
    ASSERT_NE(interior, 0u) << "the tree should have three levels";
  }
  void save() { writeBytes(dir.file("t.cdx"), bytes); }
  // Leaves a and b point at each other both ways, as a consistent pair:
  // a.right = b, b.left = a, and b.right = a, a.left = b. With a the first
  // leaf (or b the last) every link a walk from that end follows has its
  // back-link in place.
  void siblingCycle(size_t a, size_t b) {
    cdx::putLE32(&bytes[leaves[a] + 8], leaves[b]);
    cdx::putLE32(&bytes[leaves[b] + 4], leaves[a]);
    cdx::putLE32(&bytes[leaves[b] + 8], leaves[a]);
    cdx::putLE32(&bytes[leaves[a] + 4], leaves[b]);
    save();
  }
  DATA4* openTagged() {
    DATA4* d = d4open(&tc.c, dir.file("t.dbf"));
    if (d != nullptr) d4tagSelect(d, d4tag(d, "NAME"));
    return d;
  }
  // Skips by step from where the handle stands until something other than
  // 0 comes back; that result, and the number of moves made.
  int walk(DATA4* d, int rc, long step, int* moves) {
    *moves = 0;
    for (; rc == 0 && *moves < kStepLimit; rc = d4skip(d, step)) ++*moves;
    return rc;
  }
  void expectIndexErrorNamingTheFile() {
    EXPECT_EQ(error4code(&tc.c), e4index);
    EXPECT_NE(reported.find("t.cdx"), std::string::npos) << reported;
    reported.clear();
    error4set(&tc.c, 0);
  }
  ScratchDir dir;
  TestContext tc;
  std::string reported;  // texts of the errors reported
  std::vector<unsigned char> bytes;
  std::vector<uint32_t> leaves;
  uint32_t root = 0, interior = 0;
};

TEST_F(Index4Cycle, SiblingCycleEndsForwardWalk) {
  siblingCycle(0, 1);
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  int moves = 0;
  EXPECT_EQ(walk(d, d4top(d), 1, &moves), e4index);
  EXPECT_LT(moves, kRecords);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

TEST_F(Index4Cycle, SiblingCycleEndsBackwardWalk) {
  siblingCycle(leaves.size() - 2, leaves.size() - 1);  // from the end: last, one before, last, ...
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  int moves = 0;
  EXPECT_EQ(walk(d, d4bottom(d), -1, &moves), e4index);
  EXPECT_LT(moves, kRecords);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

TEST_F(Index4Cycle, SiblingCycleEndsOneLongSkip) {
  siblingCycle(0, 1);
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4top(d), 0);
  EXPECT_EQ(d4skip(d, 1000000), e4index);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

TEST_F(Index4Cycle, SiblingCycleEndsWalkAfterSeek) {
  siblingCycle(0, 1);
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4seek(d, "name 00001"), 0);
  int moves = 0;
  EXPECT_EQ(walk(d, 0, 1, &moves), e4index);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

TEST_F(Index4Cycle, SiblingCycleOfEmptyLeavesEndsWalk) {
  // Two leaves with no entries that lead to each other: the walk passes
  // them without meeting an entry, and must stop all the same.
  for (size_t k : {size_t(0), size_t(1)}) cdx::putLE16(&bytes[leaves[k] + 2], 0);
  siblingCycle(0, 1);
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  int moves = 0;
  EXPECT_EQ(walk(d, d4top(d), 1, &moves), e4index);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

TEST_F(Index4Cycle, KeyMaintenanceOverASiblingCycleEnds) {
  siblingCycle(0, 1);
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  // Appends and changes go through the tag's descents, not its walks; they
  // must end, and the walk that follows still reports the cycle.
  for (int i = 0; i < 50; i++) {
    ASSERT_EQ(d4appendStart(d, 0), 0);
    ASSERT_EQ(f4assign(d4field(d, "NAME"), "name 00000 again"), 0);
    int rc = d4append(d);
    if (rc != 0) break;
  }
  error4set(&tc.c, 0);
  int moves = 0;
  EXPECT_EQ(walk(d, d4top(d), 1, &moves), e4index);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

// Child cycles: descents were already bounded in depth; these keep them
// ending, now at the first node met twice.
TEST_F(Index4Cycle, ChildPointingAtItsOwnParentEndsEveryDescent) {
  // The interior node's first child becomes the interior node itself.
  cdx::putBE32(&bytes[interior + 12 + 20 + 4], interior);
  save();
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4top(d), e4index);
  expectIndexErrorNamingTheFile();
  EXPECT_EQ(d4seek(d, "name 00000"), e4index);
  expectIndexErrorNamingTheFile();
  ASSERT_EQ(d4appendStart(d, 0), 0);
  ASSERT_EQ(f4assign(d4field(d, "NAME"), "name 00000 again"), 0);
  EXPECT_EQ(d4append(d), e4index);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

TEST_F(Index4Cycle, ChildPointingAtTheRootEndsTheLastEntryDescent) {
  // The root's last child leads back to the root: bottom, and seeks past
  // every key, take that way.
  uint16_t count = cdx::getLE16(&bytes[root + 2]);
  cdx::putBE32(&bytes[root + 12 + (count - 1) * 28 + 24], root);
  save();
  DATA4* d = openTagged();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4bottom(d), e4index);
  expectIndexErrorNamingTheFile();
  EXPECT_EQ(d4seek(d, "name 99999"), e4index);
  expectIndexErrorNamingTheFile();
  (void)d4close(d);
}

}  // namespace
