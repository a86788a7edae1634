// Error texts, the hook, the default report and the already-in-error rule.
#include <gtest/gtest.h>

#include "data4_test_util.h"
#include "engine/error4.h"

TEST(Error4, TableLookup) {
  EXPECT_STREQ(error4text(-250), "Seeking to File Position");
  EXPECT_STREQ(error4text(-60), "Opening File");
  EXPECT_STREQ(error4text(-1410), "Engine in an Unacknowledged Error State");
  EXPECT_STREQ(error4text(-12345), "Invalid or Unknown Error Code");
  EXPECT_STREQ(error4text(-940), "Invalid or Unknown Error Code");
}

TEST(Error4, HookGetsCodeLocationAndTexts) {
  struct Seen {
    int code = 0;
    long location = 0;
    std::string t1, t2, t3;
  };
  static Seen seen;
  CODE4 c;
  ASSERT_EQ(code4init(&c), 0);
  c.errorHook = [](CODE4*, int code, long loc, const char* a, const char* b, const char* x) {
    seen = {code, loc, a, b, x};
  };
  EXPECT_EQ(error4describe(&c, e4read, 7, "file", nullptr), e4read);
  EXPECT_EQ(seen.code, e4read);
  EXPECT_EQ(seen.location, 7);
  EXPECT_EQ(seen.t1, "file");
  EXPECT_EQ(seen.t2, "");
  EXPECT_EQ(error4code(&c), e4read);
  EXPECT_EQ(error4set(&c, 0), e4read);
  // A report without a context reaches the last context with a hook.
  error4(nullptr, e4memory, 0);
  EXPECT_EQ(seen.code, e4memory);
  EXPECT_EQ(error4code(&c), e4memory);
}

TEST(Error4, DefaultReportGoesToStderrUnlessSwitchedOff) {
  CODE4 c;
  ASSERT_EQ(code4init(&c), 0);
  testing::internal::CaptureStderr();
  error4describe(&c, -99999, 42, "some.dbf");
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("TARNWICK ERROR"), std::string::npos);
  EXPECT_NE(out.find("Error #: -99999"), std::string::npos);
  EXPECT_NE(out.find("Error #: 42"), std::string::npos);
  EXPECT_NE(out.find("Invalid or Unknown Error Code"), std::string::npos);
  EXPECT_NE(out.find("some.dbf"), std::string::npos);
  c.errorBoxOff = 1;
  testing::internal::CaptureStderr();
  error4(&c, e4read, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(error4code(&c), e4read);
  char text[300];
  error4reportText(-1, 0, nullptr, std::string(400, 'x').c_str(), nullptr, nullptr, text, 257);
  EXPECT_LE(strlen(text), 256u);
}

TEST(Error4, AlreadyInErrorTouchesNothing) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = d4create(&t.c, dir.file("e"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  auto before = readBytes(dir.file("e.dbf"));
  error4set(&t.c, e4read);
  EXPECT_EQ(d4appendBlank(d), e4codeBase);
  EXPECT_EQ(d4go(d, 1), e4codeBase);
  EXPECT_EQ(d4open(&t.c, dir.file("e")), nullptr);
  EXPECT_EQ(readBytes(dir.file("e.dbf")), before);
  error4set(&t.c, 0);
  EXPECT_EQ(d4go(d, 1), 0);
  (void)d4close(d);
}

TEST(Code4, InitChecksVersionAndSize) {
  CODE4 c;
  c.errorBoxOff = 1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(code4init(&c, 6400), e4version);
  EXPECT_EQ(code4init(&c, kCode4Version, 12), e4verify);
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(code4init(&c), 0);
  EXPECT_EQ(c.lockAttempts, -1);
  EXPECT_EQ(c.unlockBeforeLock, 1);
  EXPECT_EQ(c.dateFormat, "MM/DD/YY");
}
