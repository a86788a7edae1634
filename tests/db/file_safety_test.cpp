// The gateway's own files are not for every user of the machine; a table
// it cannot write is reported as such; a database on a Windows share
// mounted so that its tables would be damaged is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/diagnostics.h"
#include "common/gui_session.h"
#include "db/gateway_database.h"
#include "db/gateway_layouts.h"
#include "db/gateway_tables.h"
#include "db/maintenance_database.h"
#include "db_test_support.h"
#include "platform/file.h"
#include "platform/mount_info.h"
#include "table/db_table.h"
#include "table/version_rows.h"

namespace {

using dbtest::RecordingInteraction;
using dbtest::Scratch;

unsigned modeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

class UmaskGuard {
 public:
  explicit UmaskGuard(mode_t mask) : old_(umask(mask)) {}
  ~UmaskGuard() { umask(old_); }

 private:
  mode_t old_;
};

// A new gateway database in <scratch>/gw, made as the program makes it.
std::string makeGatewayDatabase(Scratch& s) {
  std::string dir = s.file("gw");
  dbtest::fs::create_directory(dir);
  GatewayDatabase db(stringT(dir), nullptr);
  EXPECT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(dir), &guiSession()));
  EXPECT_TRUE(db.Validate(false));
  EXPECT_TRUE(db.createTables());
  return dir;
}

TEST(GatewayFiles, TablesMemosIndexesAndLocksAreNotWorldReadable) {
  UmaskGuard mask(022);
  Scratch s;
  RecordingInteraction shown;
  std::string dir = makeGatewayDatabase(s);
  int seen = 0;
  for (const auto& e : dbtest::fs::directory_iterator(dir)) {
    EXPECT_EQ(modeOf(e.path().string()), 0640u) << e.path();
    seen++;
  }
  EXPECT_GE(seen, 8);  // Versions, accounts, logs (dbf, cdx, fpt), the two lock files
  EXPECT_TRUE(dbtest::fs::exists(dir + "/logs.fpt"));
  // Temporary tables made in it during an upgrade are the same.
  GatewayDatabase db(stringT(dir), nullptr);
  DBTableLayout layout = versionsLayout();
  DBTable made(db, "scratch.dbf", kOpenCreate, &layout);
  ASSERT_TRUE(made.isOpen());
  EXPECT_EQ(modeOf(dir + "/scratch.dbf"), 0640u);
}

TEST(GatewayFiles, TheMaintenanceDatabaseKeepsTheUsualModes) {
  UmaskGuard mask(022);
  Scratch s;
  RecordingInteraction shown;
  std::string gw = makeGatewayDatabase(s);
  std::string tw = s.copyFixture("tarnwick", "tw");
  MaintenanceDatabase db(stringT(tw), nullptr);
  DBTableLayout layout = versionsLayout();
  DBTable made(db, "newtable.dbf", kOpenCreate | kOpenNoIndex, &layout);
  ASSERT_TRUE(made.isOpen());
  EXPECT_EQ(modeOf(tw + "/newtable.dbf"), 0644u);
}

TEST(GatewayFiles, DiagnosticFileIsNotWorldReadable) {
  UmaskGuard mask(022);
  Scratch s;
  std::string path = s.file("diagnostic.txt");
  DiagnosticList list;
  list.openDiagnosticFile(stringT(path), true);
  list.addDiagnostic("something happened");
  EXPECT_EQ(modeOf(path), 0640u);
}

TEST(ReadOnlyTable, LogsTableWithoutWritePermissionIsReportedAsUnwritable) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = makeGatewayDatabase(s);
  chmod((dir + "/logs.dbf").c_str(), 0444);
  GatewayDatabase db(stringT(dir), nullptr);
  ASSERT_TRUE(db.Validate(false));
  shown.texts.clear();
  // The gateway opens it twice (a trial open, then its manager): neither
  // may be taken for a duplicate instance.
  LogsTable first(db);
  LogsTable second(db);
  EXPECT_FALSE(first.isOpen());
  EXPECT_FALSE(second.isOpen());
  ASSERT_FALSE(shown.texts.empty());
  const std::string& text = shown.texts[0];
  EXPECT_NE(text.find("Cannot open the file for writing"), std::string::npos) << text;
  EXPECT_NE(text.find(dir + "/logs.dbf"), std::string::npos) << text;
  // The reason: the system's (not root) or the missing write permission (root).
  EXPECT_TRUE(text.find("Permission denied") != std::string::npos ||
              text.find("The file is marked read-only") != std::string::npos)
      << text;
  EXPECT_FALSE(shown.saw("Duplicate Instance"));
  // Reading it is still possible.
  DBTable reader(db, "logs.dbf", kOpenReadOnly);
  EXPECT_TRUE(reader.isOpen());
}

class FixedProbe : public MountProbe {
 public:
  FixedProbe() { setMountProbe(this); }
  ~FixedProbe() override { setMountProbe(nullptr); }
  MountInfo probe(const std::string&) override { return info; }
  MountInfo info;
};

TEST(ShareMount, NobrlRefusesTheDatabaseAndSaysWhichOption) {
  Scratch s;
  RecordingInteraction shown;
  std::string tw = s.copyFixture("tarnwick", "tw");
  FixedProbe probe;
  probe.info.smb = true;
  probe.info.mountPoint = "/mnt/tarnwick";
  applyMountOptions("rw,vers=3.1.1,cache=strict,nobrl", &probe.info);
  MaintenanceDatabase db(stringT(tw), nullptr);
  EXPECT_FALSE(db.Validate(false));
  EXPECT_FALSE(db.sessionLocked());
  ASSERT_EQ(shown.texts.size(), 1u);
  EXPECT_NE(shown.texts[0].find("The database share is mounted with the option nobrl"), std::string::npos);
  EXPECT_NE(shown.texts[0].find("/mnt/tarnwick"), std::string::npos) << shown.texts[0];
  // Remounted without it, the same database opens.
  probe.info = MountInfo{};
  probe.info.smb = true;
  applyMountOptions("rw,vers=3.1.1,cache=strict", &probe.info);
  shown.texts.clear();
  EXPECT_TRUE(db.Validate(false));
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];
}

TEST(ShareMount, LooseCacheIsWarnedAboutAndTheDatabaseOpens) {
  Scratch s;
  RecordingInteraction shown;
  std::string tw = s.copyFixture("tarnwick", "tw");
  FixedProbe probe;
  probe.info.smb = true;
  applyMountOptions("rw,vers=3.0,cache=loose", &probe.info);
  diagnostics().clear();
  MaintenanceDatabase db(stringT(tw), nullptr);
  EXPECT_TRUE(db.Validate(false));
  EXPECT_TRUE(shown.texts.empty());
  auto rows = diagnostics().snapshot();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0].description.find("The database share is mounted with cache=loose"), std::string::npos);
}

}  // namespace
