// The index lock's retry count, and the errors of damaged tag expressions,
// which must name the index file they come from.
#include <gtest/gtest.h>

#include <string>

#include "data4_test_util.h"
#include "engine/index4.h"
#include "platform/fault_file.h"

namespace {

// Collects the texts of every error the context reports.
void collectTexts(TestContext& tc, std::string* into) {
  tc.c.errorHookData = into;
  tc.c.errorHook = [](CODE4* c, int, long, const char* a, const char* b, const char* x) {
    auto* out = static_cast<std::string*>(c->errorHookData);
    for (const char* t : {a, b, x})
      if (t != nullptr) *out += std::string(t) + "\n";
  };
}

const FIELD4INFO kFields[] = {{"NAME", 'C', 20, 0, 0}, {"QTY", 'N', 5, 0, 0}, {nullptr, 0, 0, 0, 0}};

TEST(Index4Lock, ZeroLockAttemptsTriesTheIndexLockOnce) {
  ScratchDir dir;
  ScopedFakeClock clock;
  FaultFileSystem fs;
  TestContext t;
  t.c.fileSystem = &fs;
  const TAG4INFO tags[] = {{"NAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  DATA4* d = d4create(&t.c, dir.file("z"), kFields, tags);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  (void)d4unlock(d);  // 0, or 120 when nothing was held
  t.c.lockAttempts = 0;
  // Another program holds the index lock (the record lock is free).
  fs.heldElsewhere.push_back({0x7FFFFFFE, 1});
  fs.locks = 0;
  fs.failLock = 40;  // ends an endless retry with an error instead of a hang
  ASSERT_EQ(d4go(d, 1), 0);
  ASSERT_EQ(f4assign(d4field(d, "NAME"), "changed"), 0);
  EXPECT_EQ(d4write(d, 1), r4locked);
  EXPECT_LE(fs.locks, 3);  // the record lock and one try of the index lock
  EXPECT_EQ(clock.clock.sleeps, 0);
  error4set(&t.c, 0);
  fs.heldElsewhere.clear();
  (void)d4close(d);
}

class TagExpressionErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    const TAG4INFO tags[] = {{"NAME", "NAME", "QTY > 0", 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    DATA4* d = d4create(&tc.c, dir.file("t.dbf"), kFields, tags);
    ASSERT_NE(d, nullptr);
    (void)d4close(d);
    bytes = readBytes(dir.file("t.cdx"));
    collectTexts(tc, &reported);
  }
  // Opens the table; the error code it ended with.
  int open() {
    DATA4* d = d4open(&tc.c, dir.file("t.dbf"));
    int rc = d != nullptr ? 0 : error4code(&tc.c);
    if (d != nullptr) (void)d4close(d);
    return rc;
  }
  ScratchDir dir;
  TestContext tc;
  std::string reported;
  std::vector<unsigned char> bytes;
  static constexpr size_t kKeyExpr = 1024 + 512;  // the tag header's expression pool
};

TEST_F(TagExpressionErrors, UnknownFieldInTheKeyNamesTheIndexFile) {
  bytes[kKeyExpr + 3] = 'X';  // NAMX
  writeBytes(dir.file("t.cdx"), bytes);
  EXPECT_LT(open(), 0);
  EXPECT_NE(reported.find("t.cdx"), std::string::npos) << reported;
}

TEST_F(TagExpressionErrors, BrokenFilterNamesTheIndexFile) {
  // "QTY > 0" after the key's "NAME" and its terminating zero.
  ASSERT_EQ(bytes[kKeyExpr + 5], 'Q');
  bytes[kKeyExpr + 9] = '(';  // QTY ( 0
  writeBytes(dir.file("t.cdx"), bytes);
  EXPECT_LT(open(), 0);
  EXPECT_NE(reported.find("t.cdx"), std::string::npos) << reported;
}

TEST_F(TagExpressionErrors, BadExpressionGivenToCreateNamesTheIndexFile) {
  DATA4* d = d4open(&tc.c, dir.file("t.dbf"));
  ASSERT_NE(d, nullptr);
  const TAG4INFO bad[] = {{"QTY", "QTY +* 1", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  EXPECT_EQ(i4create(d, "extra", bad), nullptr);
  EXPECT_NE(reported.find("extra.cdx"), std::string::npos) << reported;
  error4set(&tc.c, 0);
  (void)d4close(d);
}

}  // namespace
