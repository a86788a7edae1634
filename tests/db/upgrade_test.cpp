// The upgrade of the gateway database from the fixtures' earlier layouts,
// and its restart after an interruption at any point.
#include "db/upgrade.h"

#include <gtest/gtest.h>

#include <map>

#include "db/gateway_database.h"
#include "db/gateway_layouts.h"
#include "db/gateway_tables.h"
#include "db_test_support.h"
#include "engine/data4.h"
#include "engine/i4check.h"
#include "platform/fault_file.h"
#include "table/db_table.h"
#include "table/progress_reporter.h"
#include "table/version_rows.h"

namespace {

using dbtest::RecordingInteraction;
using dbtest::Scratch;
using Rows = std::vector<std::vector<std::string>>;

// Live records (natural order) as the trimmed texts of the named fields.
Rows liveRows(DatabaseContext& db, const char* table, const std::vector<const char*>& fields) {
  Rows rows;
  DBTable t(db, table, kOpenReadOnly | kOpenNoIndex);
  EXPECT_TRUE(t.isOpen()) << table;
  for (int32_t r = 1; t.isOpen() && r <= t.recordCount(); ++r) {
    EXPECT_EQ(t.go(r), 0);
    if (t.isDeleted()) continue;
    std::vector<std::string> row;
    for (const char* f : fields) row.push_back(t.fieldByName(f)->text().trim().str());
    rows.push_back(row);
  }
  return rows;
}

bool indexConsistent(DatabaseContext& db, const char* table) {
  DBTable t(db, table, kOpenReadOnly);
  std::string problems;
  int rc = t.isOpen() ? i4check(t.data(), [&](const std::string& p) { problems += p + "\n"; }) : -1;
  EXPECT_EQ(problems, "") << table;
  return rc == 0;
}

// Progress that may stop at the n-th record or step.
class StoppingProgress : public ProgressReporter {
 public:
  void setText(const stringT&) override {}
  bool step(const stringT& text) override {
    steps.push_back(text.str());
    // The final, empty step comes after all the work: not a point to stop at.
    return text.empty() || ++calls != stopAt;
  }
  void setCount(long) override {}
  bool stepRecord() override { return ++calls != stopAt; }
  void finish(const stringT&) override {}
  long calls = 0;
  long stopAt = -1;
  std::vector<std::string> steps;
};

const std::vector<const char*> kLogFields2 = {"KEY",   "DETAILS", "MESSAGE", "HISTORY", "STATUS", "OLDSTATUS",
                                              "WOSCHEDULE", "WRKEY", "FLAGS", "CDATE", "CTIME"};
const std::vector<const char*> kAccountFields = {"KEY", "FLAGS", "CONTACTKEY"};

// What a current database made from the v1 fixture must hold.
struct Expected {
  Rows logs, accounts;
  long everybody;
};

Expected expectedFromV1(const std::string& v1) {
  RecordingInteraction quiet;
  GatewayDatabase db(stringT(v1), nullptr);
  Expected e;
  for (auto& r : liveRows(db, "logs.dbf",
                          {"KEY", "DETAILS", "MESSAGE", "STATUS", "OLDSTATUS", "XKEY", "DATE", "TIME"}))
    e.logs.push_back({r[0], r[1], r[2], "", r[3], r[4], "", r[5], "0", r[6], r[7]});
  e.everybody = 0;
  Rows accounts = liveRows(db, "accounts.dbf", kAccountFields);
  for (size_t i = 0; i < accounts.size(); ++i) {
    if (i > 0 && accounts[i][2] == "-1") {
      e.everybody = std::stol(accounts[i][1]);
      continue;
    }
    e.accounts.push_back(accounts[i]);
  }
  e.accounts[0][1] = std::to_string(e.everybody);
  e.accounts[0][2] = "-1";  // record 1 marked as in a table made new
  return e;
}

// Compares row by row and names the first difference only (the rows hold
// whole mail messages).
void expectRows(const Rows& actual, const Rows& expected, const char* what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t i = 0; i < actual.size(); ++i)
    for (size_t f = 0; f < actual[i].size(); ++f)
      ASSERT_EQ(actual[i][f], expected[i][f]) << what << " row " << i << " field " << f;
}

void expectCurrent(const std::string& dir, const Expected& e) {
  RecordingInteraction quiet;
  GatewayDatabase db(stringT(dir), nullptr);
  Version v;
  ASSERT_EQ(db.ReadDatabaseVersion(&v, false), 0);
  EXPECT_EQ(v, kCurrentGatewayVersion);
  expectRows(liveRows(db, "logs.dbf", kLogFields2), e.logs, "logs");
  expectRows(liveRows(db, "accounts.dbf", kAccountFields), e.accounts, "accounts");
  EXPECT_TRUE(LogsTable(db).isOpen());
  EXPECT_TRUE(AccountsTable(db).isOpen());
  EXPECT_TRUE(indexConsistent(db, "logs.dbf"));
  EXPECT_TRUE(indexConsistent(db, "accounts.dbf"));
  for (const char* leftover : {"logtemp.dbf", "logcopy.dbf", "acctemp.dbf", "acccopy.dbf"})
    EXPECT_FALSE(dbtest::fs::exists(dir + "/" + leftover)) << leftover;
}

TEST(UpgradeScript, StartEntries) {
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase db(stringT(s.copyFixture("gateway")), nullptr);
  EXPECT_EQ(db.FindStart(Version{{0, 0, 504, 0}}), 0);
  EXPECT_EQ(db.FindStart(Version{{1, 1, 504, 0}}), 5);
  EXPECT_EQ(db.FindStart(Version{{1, 2, 504, 0}}), 9);
  EXPECT_TRUE(shown.texts.empty());
  EXPECT_EQ(db.FindStart(Version{{1, 0, 0, 0}}), -1);
  EXPECT_EQ(db.FindStart(Version{{0, 0, 1, 0}}), -1);
  EXPECT_TRUE(shown.saw("Unknown @Orvane database version\r\n0.0.1.0"));

  StoppingProgress progress;
  db.setProgress(&progress);
  EXPECT_TRUE(db.RunScript(9));
  EXPECT_EQ(progress.steps, std::vector<std::string>{""}) << "a current database runs no step";
}

TEST(Upgrade, FromTheSecondLayoutRunsTheLastBlock) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.copyFixture("gateway_v2");
  Expected e = expectedFromV1(s.copyFixture("gateway_v1"));
  {
    GatewayDatabase db(stringT(dir), nullptr);
    StoppingProgress progress;
    db.setProgress(&progress);
    ASSERT_TRUE(db.check(false));
    EXPECT_EQ(progress.steps.front(), "Updating Accounts");
    EXPECT_TRUE(db.sessionLocked());
    EXPECT_FALSE(db.exclusive()) << "the upgrade ends in shared mode";
  }
  // v2 holds the same records as v1 plus what v1 did not have (HISTORY,
  // WOSCHEDULE, FLAGS), so compare keys and the fields both carry.
  RecordingInteraction quiet;
  GatewayDatabase db(stringT(dir), nullptr);
  Rows logs = liveRows(db, "logs.dbf", {"KEY", "STATUS", "WRKEY"});
  ASSERT_EQ(logs.size(), e.logs.size());
  for (size_t i = 0; i < logs.size(); ++i) EXPECT_EQ(logs[i][0], e.logs[i][0]);
  expectRows(liveRows(db, "accounts.dbf", kAccountFields), e.accounts, "accounts");
  EXPECT_EQ(e.everybody, 2);
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];
}

TEST(Upgrade, FromTheFirstLayoutAfterTheUserAgrees) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.copyFixture("gateway_v1");
  Expected e = expectedFromV1(dir);
  {
    GatewayDatabase db(stringT(dir), nullptr);
    EXPECT_FALSE(db.check(false)) << "no answer means no upgrade";
    ASSERT_EQ(shown.questions.size(), 1u);
    EXPECT_NE(shown.questions[0].find("OK to upgrade database?"), std::string::npos);
    EXPECT_FALSE(dbtest::fs::exists(dir + "/Versions.dbf"));
    shown.answers = {0};  // Yes
    ASSERT_TRUE(db.check(false));
  }
  expectCurrent(dir, e);
  Rows wrkeys = liveRows(*std::make_unique<GatewayDatabase>(stringT(dir), nullptr), "logs.dbf", {"KEY", "WRKEY"});
  EXPECT_TRUE(std::any_of(wrkeys.begin(), wrkeys.end(), [](auto& r) { return r[1] != "0"; }))
      << "XKEY became WRKEY";
}

TEST(Upgrade, TablesInNoKnownLayoutAreLeftUntouched) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.copyFixture("gateway_v1");
  std::string odd = s.copyFixture("gateway_v2", "odd");
  // logs.dbf of layout 1 with a field list that matches neither layout.
  dbtest::fs::remove(dir + "/accounts.dbf");
  dbtest::fs::remove(dir + "/accounts.cdx");
  {
    GatewayDatabase other(stringT(odd), nullptr);
    DBTableLayout strange{versionsLayout().fields, {}};
    DBTable t(other, "accounts.dbf", kOpenReplace | kOpenNoIndex, &strange);
    ASSERT_TRUE(t.isOpen());
  }
  dbtest::fs::copy_file(odd + "/accounts.dbf", dir + "/accounts.dbf");
  auto before = dbtest::fs::last_write_time(dir + "/logs.dbf");
  GatewayDatabase db(stringT(dir), nullptr);
  StoppingProgress progress;
  db.setProgress(&progress);
  EXPECT_FALSE(db.check(false));
  EXPECT_TRUE(shown.saw("Incorrect Fields"));
  EXPECT_FALSE(dbtest::fs::exists(dir + "/Versions.dbf")) << "nothing was changed";
  EXPECT_EQ(dbtest::fs::last_write_time(dir + "/logs.dbf"), before);
}

// Interrupts an upgrade from the first layout at point `at` (the n-th
// progress call or the n-th file write), then lets the next start finish
// it: nothing may be lost. Returns whether the interruption happened.
enum class Interrupt { cancel, writeFailure };

bool interruptThenFinish(const Scratch& s, const Expected& e, Interrupt how, int64_t at) {
  std::string dir = s.copyFixture("gateway_v1", "run" + std::to_string(at));
  RecordingInteraction shown;
  FaultFileSystem faults;
  bool happened;
  {
    GatewayDatabase db(stringT(dir), nullptr);
    StoppingProgress progress;
    db.setProgress(&progress);
    if (how == Interrupt::cancel) progress.stopAt = at;
    else faults.failWrite = at;
    setFileSystem(&faults);
    bool finished = db.check(false);
    setFileSystem(nullptr);
    happened = how == Interrupt::cancel ? progress.calls >= at : faults.writes >= at;
    EXPECT_EQ(finished, !happened) << "interrupted at " << at << (shown.texts.empty() ? "" : shown.texts[0]);
  }
  {
    GatewayDatabase db(stringT(dir), nullptr);
    StoppingProgress progress;
    db.setProgress(&progress);
    EXPECT_TRUE(db.check(false)) << "interrupted at " << at;
  }
  expectCurrent(dir, e);
  std::error_code ec;
  dbtest::fs::remove_all(dir, ec);
  return happened;
}

// How many progress calls and file writes a whole upgrade makes.
std::pair<int64_t, int64_t> upgradeSize(const Scratch& s) {
  std::string dir = s.copyFixture("gateway_v1", "measure");
  RecordingInteraction shown;
  FaultFileSystem counting;
  GatewayDatabase db(stringT(dir), nullptr);
  StoppingProgress progress;
  db.setProgress(&progress);
  setFileSystem(&counting);
  EXPECT_TRUE(db.check(false));
  setFileSystem(nullptr);
  return {progress.calls, counting.writes};
}

// Every kind of point is met: the stride is prime and small against the
// number of points, and the first and the last point are always taken.
void interruptEverywhere(Interrupt how) {
  Scratch s(true);
  Expected e = expectedFromV1(s.copyFixture("gateway_v1", "reference"));
  auto [calls, writes] = upgradeSize(s);
  int64_t points = how == Interrupt::cancel ? calls : writes;
  ASSERT_GT(points, 40);
  int64_t stride = points / 40 | 1;
  for (int64_t at = 1; at <= points && !::testing::Test::HasFailure(); at += stride)
    EXPECT_TRUE(interruptThenFinish(s, e, how, at));
  EXPECT_TRUE(interruptThenFinish(s, e, how, points));
  EXPECT_FALSE(interruptThenFinish(s, e, how, points + 1)) << "past the end nothing stops";
}

TEST(UpgradeInterrupted, CancelAtAnyPointThenFinish) { interruptEverywhere(Interrupt::cancel); }
TEST(UpgradeInterrupted, WriteFailureAtAnyPointThenFinish) { interruptEverywhere(Interrupt::writeFailure); }


TEST(Upgrade, AccountsWithoutAnEverybodyRecordGiveRecordOneNoFlags) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.copyFixture("gateway_v2");
  {
    // No record has CONTACTKEY -1, and record 1 carries flags of its own.
    GatewayDatabase db(stringT(dir), nullptr);
    DBTable t(db, "accounts.dbf", kOpenExisting);
    ASSERT_TRUE(t.isOpen());
    for (int32_t r = 1; r <= t.recordCount(); ++r) {
      ASSERT_EQ(t.go(r), 0);
      if (t.fieldByName("CONTACTKEY")->asLong() == -1) {
        ASSERT_EQ(t.fieldByName("CONTACTKEY")->assignLong(9000 + r), 0);
      }
      if (r == 1) {
        ASSERT_EQ(t.fieldByName("FLAGS")->assignLong(7), 0);
      }
      ASSERT_EQ(t.commit(), 0);
    }
  }
  GatewayDatabase db(stringT(dir), nullptr);
  StoppingProgress progress;
  db.setProgress(&progress);
  ASSERT_TRUE(db.check(false)) << (shown.texts.empty() ? "" : shown.texts[0]) << shown.questions.size();
  Rows accounts = liveRows(db, "accounts.dbf", kAccountFields);
  ASSERT_FALSE(accounts.empty());
  EXPECT_EQ(accounts[0][1], "0") << "record 1's flags";
  EXPECT_EQ(accounts[0][2], "-1");
}

}  // namespace
