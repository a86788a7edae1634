// Database directories: recognising, creating and validating them, the
// Versions.dbf rows and the version rules of both kinds of database.
#include "table/database_context.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "db/gateway_database.h"
#include "db/gateway_layouts.h"
#include "db/maintenance_database.h"
#include "db/maintenance_layouts.h"
#include "db_test_support.h"
#include "engine/code4.h"
#include "table/db_table.h"
#include "table/version_rows.h"

namespace {

using dbtest::RecordingInteraction;
using dbtest::Scratch;

std::string versionText(DatabaseContext& db, int row, int* rc) {
  Version v;
  *rc = db.ReadVersion(row, &v, true);
  return v.toString().str();
}

TEST(DatabaseDirectory, CreateMakesTheDirectoryAndItsLockFiles) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.file("new/");
  ASSERT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(dir), nullptr));
  EXPECT_TRUE(dbtest::fs::exists(s.file("new/session.lok")));
  EXPECT_TRUE(dbtest::fs::exists(s.file("new/exclude.lok")));
  // A second call leaves an existing database alone.
  std::ofstream(s.file("new/session.lok")) << "x";
  ASSERT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(dir), nullptr));
  EXPECT_EQ(dbtest::fs::file_size(s.file("new/session.lok")), 1u);
  // A missing parent cannot be made.
  EXPECT_FALSE(DatabaseContext::CreateDatabaseDirectory(stringT(s.file("a/b/c")), nullptr));
  EXPECT_TRUE(shown.saw("Creating Database directory"));
  EXPECT_TRUE(shown.texts.size() == 1);
}

TEST(DatabaseDirectory, ValidateRefusesWhatIsNotAUsableDatabase) {
  Scratch s;
  RecordingInteraction shown;
  std::ofstream(s.file("plain")) << "x";
  dbtest::fs::create_directory(s.file("empty"));
  dbtest::fs::create_directories(s.file("marked/system"));
  std::ofstream(s.file("marked/system/default.dat")) << "";

  GatewayDatabase missing(stringT(s.file("nothere")), nullptr);
  EXPECT_FALSE(missing.Validate(false));
  GatewayDatabase file(stringT(s.file("plain")), nullptr);
  EXPECT_FALSE(file.Validate(false));
  GatewayDatabase empty(stringT(s.file("empty")), nullptr);
  EXPECT_FALSE(empty.Validate(false));
  EXPECT_FALSE(empty.Validate(true));
  ASSERT_EQ(shown.texts.size(), 3u) << "a quiet validation reports nothing";
  EXPECT_NE(shown.texts[0].find("File Find Error Opening File"), std::string::npos);
  EXPECT_NE(shown.texts[1].find("DB is not a directory"), std::string::npos);
  EXPECT_NE(shown.texts[2].find("DB directory is not a DB"), std::string::npos);
  EXPECT_EQ(dbtest::fs::directory_iterator(s.file("empty")), dbtest::fs::directory_iterator())
      << "nothing is written into a directory that is not a database";

  MaintenanceDatabase marked(stringT(s.file("marked")), nullptr);
  EXPECT_TRUE(marked.Validate(false));
  EXPECT_TRUE(marked.created());
  EXPECT_FALSE(marked.sessionLocked());
}

// The directory check maps system errors as the engine does: a symbolic
// link loop is a name that leads nowhere, as for the engine's own files.
TEST(DatabaseDirectory, ValidateReportsASymlinkLoopAsNotFound) {
  Scratch s;
  RecordingInteraction shown;
  dbtest::fs::create_symlink(s.file("loop"), s.file("loop"));
  GatewayDatabase loop(stringT(s.file("loop")), nullptr);
  EXPECT_FALSE(loop.Validate(false));
  ASSERT_EQ(shown.texts.size(), 1u);
  EXPECT_NE(shown.texts[0].find("File Find Error Opening File"), std::string::npos) << shown.texts[0];
}

TEST(DatabaseDirectory, ValidateRefusesAReadOnlyDirectoryUnlessReadOnly) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.copyFixture("gateway");
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  {
    GatewayDatabase db(stringT(dir), nullptr);
    EXPECT_FALSE(db.Validate(false));
    EXPECT_TRUE(shown.saw("DB directory is not writeable"));
    MaintenanceDatabase reader(stringT(dir), nullptr, 2, true);
    EXPECT_TRUE(reader.Validate(false));
    EXPECT_TRUE(reader.sessionLocked());
  }
  chmod(dir.c_str(), 0755);
}

TEST(DatabaseDirectory, DropTableRemovesEveryFileOfTheTable) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.copyFixture("gateway");
  GatewayDatabase db(stringT(dir), nullptr);
  EXPECT_TRUE(db.DropTable("logs"));
  EXPECT_FALSE(dbtest::fs::exists(dir + "/logs.dbf"));
  EXPECT_FALSE(dbtest::fs::exists(dir + "/logs.cdx"));
  EXPECT_FALSE(dbtest::fs::exists(dir + "/logs.fpt"));
  EXPECT_TRUE(db.DropTable("logs.dbf")) << "missing files count as deleted";
  EXPECT_TRUE(dbtest::fs::exists(dir + "/accounts.dbf"));
  EXPECT_TRUE(shown.texts.empty());
}

TEST(VersionsTable, FixtureRowsReadAndCheck) {
  Scratch s;
  RecordingInteraction shown;
  MaintenanceDatabase tarnwick(stringT(s.copyFixture("tarnwick")), nullptr);
  int rc;
  EXPECT_EQ(versionText(tarnwick, 0, &rc), "2.9.0.0");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(versionText(tarnwick, 1, &rc), "2.9.0.0");
  EXPECT_EQ(versionText(tarnwick, 2, &rc), "1.2.504.0");

  GatewayDatabase v2(stringT(s.copyFixture("gateway_v2")), nullptr);
  EXPECT_EQ(versionText(v2, 0, &rc), "1.1.504.0");
  EXPECT_EQ(versionText(v2, 1, &rc), "0.0.0.0") << "a blank row reads as 0.0.0.0";
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(versionText(v2, 2, &rc), "1.1.504.0");
  EXPECT_TRUE(shown.texts.empty());
}

TEST(VersionsTable, WrittenRowsCheckAndForeignChecksFail) {
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase db(stringT(s.copyFixture("gateway_v2")), nullptr);
  int rc;
  ASSERT_EQ(db.WriteVersion(1, Version{{7, 8, 9, 10}}), 0);
  EXPECT_EQ(versionText(db, 1, &rc), "7.8.9.10");
  EXPECT_EQ(versionText(db, 2, &rc), "1.1.504.0");

  // A CHECK written for another VERSION text.
  DBTable& t = *db.versions();
  ASSERT_EQ(t.go(1), 0);
  ASSERT_EQ(t.field(kVerVersion)->assign("1.2.504.0"), 0);
  ASSERT_EQ(t.commit(), 0);
  Version v;
  EXPECT_EQ(db.ReadVersion(0, &v, false), -200);
  EXPECT_TRUE(shown.saw("Database Version table is not valid"));
}

TEST(VersionsTable, RowsBeyondTheTableAndAMissingTable) {
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase v2(stringT(s.copyFixture("gateway_v2")), nullptr);
  int rc;
  Version v;
  EXPECT_EQ(v2.ReadVersion(5, &v, false), 0) << "rows beyond the table read as 0.0.0.0";
  EXPECT_EQ(v.toString(), "0.0.0.0");
  EXPECT_EQ(versionText(v2, 2, &rc), "1.1.504.0");

  Scratch t;
  GatewayDatabase v1(stringT(t.copyFixture("gateway_v1")), nullptr);
  EXPECT_EQ(v1.ReadVersion(2, &v, false), 6);
  EXPECT_TRUE(shown.saw("Database Version table is not available"));
  ASSERT_EQ(v1.ReadDatabaseVersion(&v, false), 0);
  EXPECT_EQ(v.toString(), "0.0.504.0") << "the first layout had no Versions.dbf";
  EXPECT_EQ(v1.WriteVersion(0, Version{{1, 0, 0, 0}}), 6);
  EXPECT_TRUE(shown.saw("Cannot save updated Version table"));
}

TEST(MaintenanceVersion, EveryLayoutOfTheSettingsTable) {
  Scratch s;
  RecordingInteraction shown;
  Version v;
  MaintenanceDatabase current(stringT(s.copyFixture("tarnwick")), nullptr);
  ASSERT_EQ(current.ReadDatabaseVersion(&v, false), 0);
  EXPECT_EQ(v.toString(), "2.9.0.0");

  MaintenanceDatabase old(stringT(s.copyFixture("tarnwick_old")), nullptr);
  ASSERT_EQ(old.ReadDatabaseVersion(&v, false), 0);
  EXPECT_EQ(v.toString(), "2.7.501.2");
  ASSERT_EQ(old.ReadVersion(2, &v, false), 0);
  EXPECT_EQ(v.toString(), "0.0.0.0") << "programs' rows exist only above 2.7.108.0";
  EXPECT_FALSE(old.check(false));
  EXPECT_TRUE(shown.saw("The Tarnwick Database must be upgraded using Tarnwick"));

  std::string empty = s.file("none");
  dbtest::fs::create_directory(empty);
  MaintenanceDatabase none(stringT(empty), nullptr);
  EXPECT_EQ(none.ReadDatabaseVersion(&v, false), -1095);
  EXPECT_TRUE(shown.saw("No Tarnwick Database found"));
}

TEST(MaintenanceVersion, CheckAcceptsTheFixtureDatabase) {
  Scratch s;
  RecordingInteraction shown;
  MaintenanceDatabase db(stringT(s.copyFixture("tarnwick")), nullptr);
  EXPECT_TRUE(db.check(false));
  EXPECT_TRUE(db.sessionLocked());
  EXPECT_FALSE(db.exclusive());
  EXPECT_EQ(db.readActivityCode(), 0);
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];
}

TEST(GatewayVersion, CheckAcceptsCurrentRefusesLaterAndUnknown) {
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase current(stringT(s.copyFixture("gateway")), nullptr);
  EXPECT_TRUE(current.check(false));
  EXPECT_TRUE(shown.texts.empty());

  GatewayDatabase later(stringT(s.copyFixture("gateway", "later")), nullptr);
  ASSERT_EQ(later.WriteVersion(2, Version{{99, 0, 0, 0}}), 0);
  EXPECT_FALSE(later.check(false));
  EXPECT_TRUE(shown.saw("@Orvane Database is for a later version of @Orvane"));

  GatewayDatabase v2(stringT(s.copyFixture("gateway_v2")), nullptr, false);
  EXPECT_FALSE(v2.check(false));
  EXPECT_TRUE(shown.saw("The @Orvane Database must be upgraded using the @Orvane Installer"));

  GatewayDatabase odd(stringT(s.copyFixture("gateway", "odd")), nullptr);
  ASSERT_EQ(odd.WriteVersion(0, Version{{1, 0, 0, 0}}), 0);
  EXPECT_FALSE(odd.check(false));
  EXPECT_TRUE(shown.saw("Unknown @Orvane database version\r\n1.0.0.0"));
}

}  // namespace
