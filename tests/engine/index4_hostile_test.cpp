// Writing through damaged index files (tests/data/hostile/write-path): each
// damage is refused with -310 when the write path meets it, and what the
// writes did before that is whole; never a crash, a hang or a block used
// twice.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "data4_test_util.h"
#include "engine/i4check.h"
#include "engine/index4.h"

namespace {

const char* const kCases[] = {
    "free-head-at-root",    "free-head-at-leaf",      "free-head-at-tag-header",
    "free-list-loop",       "free-list-two-cycle",    "leaf-count-past-node",
    "root-count-past-node", "tag-root-at-tag-header", "tag-root-at-directory",
};

const std::string kDir = std::string(ORV_TEST_DATA) + "/hostile/write-path/";

TEST(Index4Hostile, WritesThroughDamagedIndexesEndInMinus310) {
  for (const char* name : kCases) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    std::filesystem::copy_file(kDir + "w.dbf", dir.file("w.dbf"));
    std::filesystem::copy_file(kDir + name + ".cdx", dir.file("w.cdx"));
    TestContext t;
    DATA4* d = d4open(&t.c, dir.file("w.dbf"));
    if (d == nullptr) {
      EXPECT_EQ(error4code(&t.c), e4index);
      continue;
    }
    int refused = 0, done = 0;
    for (int i = 0; i < 300; i++) {
      char name[24];
      snprintf(name, sizeof name, "added %05d", i * 7919 % 1000);
      int rc = d4appendStart(d, 0);
      if (rc == 0) rc = f4assign(d4field(d, "NAME"), name);
      if (rc == 0) rc = f4assignLong(d4field(d, "KEY"), 1000 + i);
      if (rc == 0) rc = d4append(d);
      if (rc == 0 && i % 10 == 0) {
        // An update that moves the record's keys, and a deletion.
        rc = d4go(d, i + 1);
        if (rc == 0) rc = f4assign(d4field(d, "NAME"), "moved");
        if (rc == 0) rc = d4delete(d);
        if (rc == 0) rc = d4write(d, i + 1);
      }
      if (rc == 0) {
        done++;
        continue;
      }
      EXPECT_EQ(rc, e4index) << "step " << i;
      refused++;
      error4set(&t.c, 0);
    }
    EXPECT_GT(refused, 0) << "the damage was never met";
    error4set(&t.c, 0);
    (void)d4close(d);
    // The free list's damage is outside the trees: whatever was written
    // before the refusals is indexed. The trees' own damage stays reported.
    DATA4* r = d4open(&t.c, dir.file("w.dbf"));
    if (r == nullptr) {
      EXPECT_EQ(error4code(&t.c), e4index);
      continue;
    }
    std::string report;
    int rc = i4check(r, [&](const std::string& s) { report += s + "; "; });
    if (std::string(name).rfind("free-", 0) == 0) EXPECT_EQ(rc, 0) << report;
    else EXPECT_NE(rc, 0);
    error4set(&t.c, 0);
    (void)d4close(r);
  }
}

}  // namespace
