// The slow messages remembered across retrieval runs: by UIDL, or by number
// and size without it, kept in a file from one run to the next.
#include "cycle/slow_messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>

namespace {

class SlowMessagesFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/orvslow.XXXXXX";
    dir = mkdtemp(templ);
    path = dir + "/slow_messages.txt";
  }
  void TearDown() override {
    std::remove(path.c_str());
    rmdir(dir.c_str());
  }
  // One run: the same object a retrieval run makes, saved at its end.
  template <typename Run>
  void run(Run body) {
    SlowMessages slow(path);
    body(slow);
    std::string reason;
    ASSERT_TRUE(slow.save(reason)) << reason;
  }
  std::string dir, path;
};

TEST_F(SlowMessagesFile, CountsSkipsAcrossRunsAndForgetsWhatLeft) {
  std::map<int, std::string> uids = {{1, "A1"}, {2, "B2"}, {3, "C3"}};
  int third = 0;
  for (int r = 1; r <= 3; ++r)
    run([&](SlowMessages& slow) {
      EXPECT_EQ(slow.remembered("B2", 2), r > 1) << r;
      EXPECT_FALSE(slow.remembered("A1", 1));
      EXPECT_EQ(slow.rememberedNumbers(uids, 3), r > 1 ? std::vector<int>{2} : std::vector<int>{}) << r;
      third = slow.skipped(SlowMessages::keyOf("B2", 2, 900));
      slow.keepPresent(uids, 3);
    });
  EXPECT_EQ(third, 3);
  // Taken in at last: forgotten; and a UIDL no longer on the server goes.
  run([&](SlowMessages& slow) {
    slow.skipped(SlowMessages::keyOf("C3", 3, 10));
    slow.forget(SlowMessages::keyOf("B2", 2, 900));
  });
  run([&](SlowMessages& slow) {
    EXPECT_FALSE(slow.remembered("B2", 2));
    EXPECT_TRUE(slow.remembered("C3", 3));
    slow.keepPresent({{1, "A1"}}, 1);
  });
  run([&](SlowMessages& slow) { EXPECT_FALSE(slow.remembered("C3", 1)); });
}

TEST_F(SlowMessagesFile, WithoutUidlNumberAndSizeNameTheMessage) {
  struct Step {
    int number, size;
    int runs;  // what skipped returns
  } steps[] = {
      {1, 500, 1}, {1, 500, 2},
      {1, 700, 1},  // another message now at number 1
      {1, 700, 2}, {1, 700, 3},
  };
  for (const Step& s : steps)
    run([&](SlowMessages& slow) {
      EXPECT_EQ(slow.skipped(SlowMessages::keyOf("", s.number, s.size)), s.runs) << s.size;
      EXPECT_TRUE(slow.remembered("", s.number));
      EXPECT_FALSE(slow.remembered("", s.number + 1));
      // Never listed from the count: a mailbox of billions costs nothing.
      EXPECT_EQ(slow.rememberedNumbers({}, 2'000'000'000), std::vector<int>{s.number});
    });
  run([&](SlowMessages& slow) {
    slow.keepPresent({}, 0);  // the mailbox is empty: number 1 is gone
  });
  run([&](SlowMessages& slow) { EXPECT_FALSE(slow.remembered("", 1)); });
}

TEST_F(SlowMessagesFile, DamagedFileRemembersWhatIsReadable) {
  std::ofstream(path) << "2\tu:X9\nnonsense\n-4\tu:Y\n3\tq:Z\n\t\n";
  SlowMessages slow(path);
  EXPECT_TRUE(slow.remembered("X9", 5));
  EXPECT_FALSE(slow.remembered("Y", 1));
  EXPECT_EQ(slow.skipped("u:X9"), 3);
}

}  // namespace
