// The maintenance database check: every way it fails says why.
#include <gtest/gtest.h>

#include "db/maintenance_database.h"
#include "db_test_support.h"
#include "table/db_table.h"

namespace {

using dbtest::RecordingInteraction;
using dbtest::Scratch;

TEST(MaintenanceCheck, UnreadableActivityCodeFailsWithItsMessage) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.copyFixture("tarnwick", "tw");
  {
    // default.dbf without its REINDEX field: the activity code cannot be read.
    MaintenanceDatabase db(stringT(dir), nullptr);
    static const DBFieldInfo fields[] = {{"DBVERSION", 'C', 15, 0}, {"UPGRSTEP", 'N', 5, 0}};
    DBTableLayout layout{fields, {}};
    DBTable t(db, "system/default.dbf", kOpenReplace | kOpenNoIndex, &layout);
    ASSERT_TRUE(t.isOpen());
    ASSERT_EQ(t.appendStart(), 0);
    ASSERT_EQ(t.fieldByName("DBVERSION")->assign("2.9.0.0"), 0);
    ASSERT_EQ(t.fieldByName("UPGRSTEP")->assign("0"), 0);
    ASSERT_EQ(t.commit(), 0);
  }
  MaintenanceDatabase db(stringT(dir), nullptr);
  EXPECT_FALSE(db.CheckMaintenance(false));
  ASSERT_EQ(shown.texts.size(), 1u);
  EXPECT_EQ(shown.texts[0], "The Tarnwick Database is partway through a Reindex or Archive Purge operation");
}

TEST(MaintenanceCheck, TooOldIsReportedEvenWhenQuiet) {
  Scratch s;
  RecordingInteraction shown;
  MaintenanceDatabase db(stringT(s.copyFixture("tarnwick_old", "old")), nullptr);
  EXPECT_FALSE(db.CheckMaintenance(true));
  ASSERT_EQ(shown.texts.size(), 1u);
  EXPECT_EQ(shown.texts[0], "The Tarnwick Database must be upgraded using Tarnwick");
}

TEST(MaintenanceCheck, ACurrentDatabasePassesSilently) {
  Scratch s;
  RecordingInteraction shown;
  MaintenanceDatabase db(stringT(s.copyFixture("tarnwick", "tw")), nullptr);
  EXPECT_TRUE(db.CheckMaintenance(false));
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];
}

}  // namespace
