// Writes that fail half-way: for every write call of a run of appends and
// updates, fail that call (or make it short, or fill the disk there), then
// check that the table still opens and keeps every record reported written.
#include <gtest/gtest.h>

#include <map>

#include "data4_test_util.h"
#include "platform/fault_file.h"

namespace {

enum class Fault { fail, shortWrite, diskFull };

std::string textFor(int key, int version) {
  return "k" + std::to_string(key) + "v" + std::to_string(version) + std::string(key * 37 % 700, 'm');
}

// Runs appends and updates with the fault armed at write n. Returns false
// when the fault never fired (n is past the last write).
bool runWithFault(const std::string& path, Fault kind, int n) {
  std::map<int, int> written;  // record -> version reported written
  int inDoubt = 0;  // record whose memo update failed: its entry is rewritten
                    // in place, so it may hold either version or a mix
  {
    TestContext t;
    DATA4* d = d4create(&t.c, path, basicFields());
    if (d == nullptr) return false;
    (void)d4close(d);
  }
  FaultFileSystem fs;
  TestContext t;
  t.c.fileSystem = &fs;
  DATA4* d = d4open(&t.c, path);
  EXPECT_NE(d, nullptr);
  if (d == nullptr) return false;
  fs.writes = 0;
  if (kind == Fault::fail) fs.failWrite = n;
  if (kind == Fault::shortWrite) fs.shortWrite = n;
  if (kind == Fault::diskFull) fs.diskFullAfter = n * 97;
  bool failed = false;
  for (int i = 1; i <= 6 && !failed; ++i) {
    failed = d4appendStart(d, 0) != 0 || f4assignLong(d4field(d, "AMOUNT"), i) != 0 ||
             f4memoAssign(d4field(d, "NOTES"), textFor(i, 0).c_str()) != 0 || d4append(d) != 0;
    if (!failed) written[d4recNo(d)] = 0;
    if (!failed && i % 2 == 0) {
      int rec = i / 2;
      failed = d4go(d, rec) != 0 ||
               f4memoAssign(d4field(d, "NOTES"), textFor(rec, 1).c_str()) != 0 ||
               d4write(d, rec) != 0;
      if (!failed) written[rec] = 1;
      if (failed) inDoubt = rec;
    }
  }
  error4set(&t.c, 0);
  (void)d4close(d);
  error4set(&t.c, 0);
  if (!failed) return false;

  TestContext check;
  for (char mode : {OPEN4DENY_NONE, OPEN4DENY_RW}) {
    check.c.accessMode = mode;
    DATA4* r = d4open(&check.c, path);
    EXPECT_NE(r, nullptr) << "write " << n << " mode " << int(mode);
    if (r == nullptr) return true;
    EXPECT_GE(d4recCount(r), static_cast<int32_t>(written.size()));
    for (auto [rec, version] : written) {
      EXPECT_EQ(d4go(r, rec), 0) << "write " << n;
      EXPECT_EQ(f4long(d4field(r, "AMOUNT")), rec) << "write " << n;
      std::string memo = f4memoStr(d4field(r, "NOTES"));
      if (rec != inDoubt) {
        EXPECT_EQ(memo, textFor(rec, version))
          << "write " << n << " record " << rec;
      }
    }
    EXPECT_EQ(error4code(&check.c), 0);
    (void)d4close(r);
  }
  return true;
}

}  // namespace

TEST(Data4Fault, EveryFailingWriteLeavesAnOpenableTable) {
  for (Fault kind : {Fault::fail, Fault::shortWrite, Fault::diskFull}) {
    int fired = 0;
    for (int n = 1; n < 200; ++n) {
      ScratchDir dir;
      if (!runWithFault(dir.file("f.dbf"), kind, n)) break;
      ++fired;
    }
    EXPECT_GT(fired, 10) << int(kind);
  }
}

TEST(Data4Fault, FailedLockAndFlushAreErrors) {
  ScratchDir dir;
  FaultFileSystem fs;
  TestContext t;
  t.c.fileSystem = &fs;
  DATA4* d = d4create(&t.c, dir.file("l"), basicFields());
  ASSERT_NE(d, nullptr);
  fs.failLock = 1;
  EXPECT_EQ(d4appendBlank(d), e4lock);
  error4set(&t.c, 0);
  EXPECT_EQ(d4recCount(d), 0);
  ASSERT_EQ(d4appendBlank(d), 0);
  fs.failFlush = 1;
  EXPECT_EQ(d4flush(d), e4optFlush);
  error4set(&t.c, 0);
  (void)d4close(d);
}
