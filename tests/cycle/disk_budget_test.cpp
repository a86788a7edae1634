// The disk budget of mail intake: which memo file sizes and free spaces
// stop it, and what the diagnostic says.
#include "cycle/disk_budget.h"

#include <gtest/gtest.h>

#include "platform/disk_space.h"

namespace {

constexpr uint64_t kMB = uint64_t(1) << 20;

TEST(DiskBudget, MemoFilesAndFreeSpaceThatStopTheIntake) {
  const uint64_t message = 25 * kMB;
  struct Case {
    const char* what;
    uint64_t logsFpt, tarnwickFpt;
    bool freeKnown;
    uint64_t freeBytes;
    IntakeHold hold;
    const char* says;
  } cases[] = {
      {"room everywhere", 100 * kMB, 10 * kMB, true, 50000 * kMB, IntakeHold::None, ""},
      {"logs.fpt with room for two more", kMemoFileLimit - 2 * message - 1, 0, true, 50000 * kMB, IntakeHold::None,
       ""},
      {"logs.fpt near 2 GB", kMemoFileLimit - 2 * message, 0, true, 50000 * kMB, IntakeHold::MemoFile,
       "/gw/logs.fpt holds 1998 MB"},
      {"a Tarnwick memo file near 2 GB", 0, kMemoFileLimit - kMB, true, 50000 * kMB, IntakeHold::MemoFile,
       "/tw/wrequest.fpt holds 2047 MB"},
      {"disk nearly full", 0, 0, true, kMinFreeDisk + 2 * message - 1, IntakeHold::DiskSpace,
       "the disk of /gw has 561 MB free"},
      {"disk just enough", 0, 0, true, kMinFreeDisk + 2 * message, IntakeHold::None, ""},
      {"free space unknown", 0, 0, false, 0, IntakeHold::None, ""},
  };
  for (const Case& c : cases) {
    DiskFacts facts;
    facts.memos = {{"/gw/logs.fpt", c.logsFpt}, {"/tw/wrequest.fpt", c.tarnwickFpt}};
    facts.disks = {{"/gw", c.freeKnown, c.freeBytes}};
    IntakeHold hold = IntakeHold::None;
    std::string said = diskBudgetProblem(facts, message, &hold).str();
    EXPECT_EQ(hold, c.hold) << c.what;
    if (*c.says == 0)
      EXPECT_EQ(said, "") << c.what;
    else
      EXPECT_NE(said.find(c.says), std::string::npos) << c.what << ": " << said;
  }
  EXPECT_EQ(intakeHoldName(IntakeHold::MemoFile), "memo_file_near_limit");
  EXPECT_EQ(intakeHoldName(IntakeHold::DiskSpace), "disk_space_low");
}

TEST(DiskBudget, FactsComeFromTheDirectories) {
  char templ[] = "/tmp/orvbudget.XXXXXX";
  std::string dir = mkdtemp(templ);
  FILE* f = std::fopen((dir + "/LOGS.FPT").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("12345", f);
  std::fclose(f);
  std::fclose(std::fopen((dir + "/logs.dbf").c_str(), "w"));
  DiskFacts facts = readDiskFacts({dir});
  ASSERT_EQ(facts.memos.size(), 1u);
  EXPECT_EQ(facts.memos[0].path, dir + "/LOGS.FPT");
  EXPECT_EQ(facts.memos[0].size, 5u);
  ASSERT_EQ(facts.disks.size(), 1u);
  EXPECT_TRUE(facts.disks[0].known);
  EXPECT_GT(facts.disks[0].freeBytes, 0u);
  uint64_t free = 0;
  EXPECT_NE(diskFreeBytes(dir + "/missing/deeper", &free), 0);
  std::remove((dir + "/LOGS.FPT").c_str());
  std::remove((dir + "/logs.dbf").c_str());
  std::remove(dir.c_str());
}

}  // namespace
