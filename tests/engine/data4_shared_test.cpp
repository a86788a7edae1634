// Two processes appending to and updating one table at once, through the
// byte-range locks: no record lost or doubled, the header count right,
// every memo intact.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "data4_test_util.h"

namespace {

constexpr int kPerProcess = 2000;

std::string memoFor(int key, int version) {
  return "key " + std::to_string(key) + " v" + std::to_string(version) + " " +
         std::string(static_cast<size_t>(key % 1300), static_cast<char>('a' + key % 26));
}

// The child's work; returns the exit status.
int appender(const std::string& path, int base) {
  CODE4 c;
  if (code4init(&c) != 0) return 10;
  c.errorBoxOff = 1;
  c.lockDelay = 0;  // retry at once: the test measures correctness, not waiting
  c.unlockBeforeLock = 2;
  DATA4* d = d4open(&c, path);
  if (d == nullptr) return 11;
  FIELD4* amount = d4field(d, "AMOUNT");
  FIELD4* notes = d4field(d, "NOTES");
  std::vector<int32_t> mine;
  for (int i = 0; i < kPerProcess; ++i) {
    int key = base + i;
    if (d4appendStart(d, 0) != 0 || d4blank(d) != 0 || f4assignLong(amount, key) != 0 ||
        f4memoAssign(notes, memoFor(key, 0).c_str()) != 0 || d4append(d) != 0)
      return 12;
    mine.push_back(d4recNo(d));
    if (i % 10 == 9) {
      // Rewrite an earlier record of ours, memo included.
      int32_t rec = mine[static_cast<size_t>(i) / 2];
      if (d4go(d, rec) != 0 || d4lock(d, rec) != 0) return 13;
      if (f4long(amount) != base + i / 2) return 14;
      if (f4memoAssign(notes, memoFor(base + i / 2, 1).c_str()) != 0) return 15;
      if (f4assign(d4field(d, "NAME"), "updated") != 0 || d4write(d, rec) != 0) return 16;
    }
  }
  return d4close(d) == 0 ? 0 : 17;
}

}  // namespace

TEST(Data4Shared, TwoProcessesAppendAndUpdate) {
  ScratchDir dir;
  std::string path = dir.file("shared.dbf");
  {
    TestContext t;
    DATA4* d = d4create(&t.c, path, basicFields());
    ASSERT_NE(d, nullptr);
    (void)d4close(d);
  }
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    if (pid == 0) _exit(appender(path, (p + 1) * 100000));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  TestContext t;
  t.c.accessMode = OPEN4DENY_RW;  // also checks the length against the count
  DATA4* d = d4open(&t.c, path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4recCount(d), 2 * kPerProcess);
  EXPECT_EQ(fileSize(path), long(d->dataFile->header.headerLength) +
                                2L * kPerProcess * d->dataFile->header.recordLength + 1);
  std::set<long> keys;
  for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) {
    long key = f4long(d4field(d, "AMOUNT"));
    EXPECT_TRUE(keys.insert(key).second) << "key twice: " << key;
    bool updated = std::string(f4str(d4field(d, "NAME"))).rfind("updated", 0) == 0;
    EXPECT_EQ(std::string(f4memoStr(d4field(d, "NOTES"))), memoFor(static_cast<int>(key), updated ? 1 : 0));
  }
  EXPECT_EQ(keys.size(), size_t(2 * kPerProcess));
  EXPECT_EQ(error4code(&t.c), 0);
  (void)d4close(d);
}
