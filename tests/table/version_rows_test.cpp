#include "table/version_rows.h"

#include <gtest/gtest.h>

// CHECK texts as the maintenance program wrote them into the fixtures'
// Versions.dbf (the writing rule: upper case, "Z" padding, key "QvRnTw").
constexpr char kCheck2900[] = "cXk@dYa,\b4\x0e-\x0b,\b";
constexpr char kCheck12504[] = "`X`@aGeXb4\x0e-\x0b,\b";

TEST(VersionRows, ScramblingGivesWhatTheMaintenanceProgramWrote) {
  EXPECT_EQ(scrambleCheck("2.9.0.0"), kCheck2900);
  EXPECT_EQ(scrambleCheck("1.2.504.0      "), kCheck12504);  // the stored VERSION is padded
  EXPECT_EQ(scrambleCheck("1.2.504.0").size(), kCheckWidth);
  // Lower case is upper-cased before scrambling; a longer text is cut.
  EXPECT_EQ(scrambleCheck("abc"), scrambleCheck("ABC"));
  EXPECT_EQ(scrambleCheck("123456789012345678"), scrambleCheck("123456789012345"));
}

TEST(VersionRows, ARowIsValidWhenItsCheckIsTheScramblingOfItsVersion) {
  EXPECT_TRUE(versionRowValid(0, "DB", "2.9.0.0        ", kCheck2900));
  EXPECT_TRUE(versionRowValid(2, "@O", "1.2.504.0", kCheck12504));
  // Scrambling the stored check again (the literal reading rule) does not
  // give the version back: that rule would refuse every valid row.
  EXPECT_NE(scrambleCheck(kCheck2900), "2.9.0.0");

  EXPECT_FALSE(versionRowValid(0, "TW", "2.9.0.0", kCheck2900));   // wrong identifier
  EXPECT_FALSE(versionRowValid(0, "DB", "2.9.0.1", kCheck2900));   // check of another version
  EXPECT_FALSE(versionRowValid(0, "DB", "2.9.0.0", "2.9.0.0"));    // plain text
  EXPECT_FALSE(versionRowValid(3, "XX", "2.9.0.0", kCheck2900));   // rows we do not know
  EXPECT_STREQ(versionRowId(1), "TW");
  EXPECT_EQ(versionRowId(5), nullptr);
}

TEST(VersionRows, OlderMaintenanceVersionsCarryTheUpgradeStep) {
  auto stepped = [](Version v, long step) {
    auto r = maintenanceStepVersion(v, step);
    return r ? r->toString().str() : std::string("none");
  };
  EXPECT_EQ(stepped({{2, 7, 5, 1}}, 2), "2.7.501.2");
  EXPECT_EQ(stepped({{2, 7, 5, 1}}, 0), "2.7.502.0");
  EXPECT_EQ(stepped({{2, 7, 108, 0}}, 0), "2.7.10800.0");
  EXPECT_EQ(stepped({{2, 7, 0, 0}}, 1), "none") << "0 - 1 would wrap";
  EXPECT_EQ(stepped({{2, 7, 5, 4000000000u}}, 0), "none");
  EXPECT_EQ(stepped({{2, 7, 5, 1}}, -1), "none");
}
