// Two processes appending to and updating one indexed table at once, with
// a unique tag and a filtered tag. Afterwards the index is consistent and
// every appended key is found.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/i4check.h"
#include "engine/index4.h"

namespace {

constexpr int kPerProcess = 300;

void quiet(CODE4*, int, long, const char*, const char*, const char*) {}

void setUp(CODE4* c) {
  if (code4init(c) != 0) _exit(90);
  c->errorHook = quiet;
  c->lockAttempts = -1;
  c->lockDelay = 1;
  c->singleOpen = 0;
  c->unlockBeforeLock = 2;
}

// One writer: appends its own keys (base + i), and every fifth time changes
// an earlier record of either writer.
int writer(const std::string& file, int base) {
  CODE4 c;
  setUp(&c);
  DATA4* d = d4open(&c, file);
  if (!d) return 91;
  srand(unsigned(base));
  for (int i = 0; i < kPerProcess; i++) {
    if (d4appendStart(d, 0) != 0) return 92;
    char name[32];
    snprintf(name, sizeof name, "writer %d row %d", base, i);
    (void)f4assignLong(d4field(d, "KEY"), base + i);
    (void)f4assign(d4field(d, "NAME"), name);
    (void)f4assignLong(d4field(d, "STATUS"), i % 4);
    if (d4append(d) != 0) return 93;
    if (i % 5 == 4) {
      int32_t count = d4recCount(d);
      if (d4go(d, 1 + rand() % count) != 0) return 94;
      (void)f4assignLong(d4field(d, "STATUS"), rand() % 4);
      (void)f4assign(d4field(d, "NAME"), "changed");
      if (d4write(d, -1) != 0) return 95;
    }
    if (error4code(&c) < 0) return 96;
  }
  (void)d4close(d);
  code4initUndo(&c);
  return 0;
}

TEST(IndexConcurrent, TwoProcessesAppendAndUpdate) {
  char tmpl[] = "/tmp/orv-index-conc-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string file = dir + "/shared.dbf";
  {
    CODE4 c;
    setUp(&c);
    const FIELD4INFO fields[] = {{"KEY", 'N', 10, 0, 0}, {"NAME", 'C', 30, 0, 0},
                                 {"STATUS", 'N', 2, 0, 0}, {nullptr, 0, 0, 0, 0}};
    const TAG4INFO tags[] = {{"KEY", "KEY", "RECNO()<>1.AND..NOT.DELETED()", 25, 0},
                             {"NAME", "UPPER(NAME)", nullptr, 0, 0},
                             {"ACTIVE", "STATUS", ".NOT.DELETED().AND.STATUS=2", 0, 0},
                             {nullptr, nullptr, nullptr, 0, 0}};
    DATA4* d = d4create(&c, file, fields, tags);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4appendBlank(d), 0);  // the prototype record
    (void)d4close(d);
    code4initUndo(&c);
  }
  pid_t pids[2];
  for (int w = 0; w < 2; w++) {
    pids[w] = fork();
    ASSERT_GE(pids[w], 0);
    if (pids[w] == 0) _exit(writer(file, (w + 1) * 100000));
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  CODE4 c;
  setUp(&c);
  DATA4* d = d4open(&c, file);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d4recCount(d), 1 + 2 * kPerProcess);
  std::string problems;
  EXPECT_EQ(i4check(d, [&](const std::string& s) { problems += s + "\n"; }), 0) << problems;
  d4tagSelect(d, d4tag(d, "KEY"));
  for (int w = 1; w <= 2; w++)
    for (int i = 0; i < kPerProcess; i++) EXPECT_EQ(d4seekDouble(d, w * 100000 + i), 0) << w << " " << i;
  (void)d4close(d);
  code4initUndo(&c);
  std::filesystem::remove_all(dir);
}

}  // namespace
