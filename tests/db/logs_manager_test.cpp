// LogsManager and LogRecord against the fixture gateway database and a
// freshly created one.
#include "db/logs_manager.h"

#include <gtest/gtest.h>

#include "db/log_cache.h"
#include "db/record_counter.h"
#include "engine/error4.h"
#include "manager_test_support.h"

namespace {

using dbtest::checkTables;
using dbtest::Databases;

long prototypeKey(LogsManager& m) {
  EXPECT_EQ(m.table().go(1), 0);
  return m.table().field(kLogKey)->asLong();
}

LogRecord newLog(long status, const char* subject) {
  LogRecord r(MailMessage(stringT("From: a@b.example\r\nSubject: ") + subject + "\r\n\r\nBody text\r\n"));
  r.setNumber(kLrStatus, status);
  r.set(kLrCDate, "20240401");
  r.set(kLrCTime, "101500");
  r.set(kLrDetails, "details");
  return r;
}

TEST(LogsManager, LoadSortsKeysByStatusAndLeavesOutOddStatuses) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  const size_t expected[kLogStatusCount] = {4, 4, 7, 5, 3, 4, 2, 2, 2, 1};
  for (int s = 0; s < kLogStatusCount; ++s) EXPECT_EQ(m.CountInStatus(s), expected[s]) << s;
  EXPECT_EQ(m.CountAll(), 34u);  // the row with STATUS 11 is in no list
  EXPECT_EQ(m.CountInStatus(11), 0u);
  EXPECT_EQ(m.KeysInStatus(9), std::vector<long>{75});
  EXPECT_EQ(m.table().ordering(), nullptr);
}

TEST(LogsManager, GetRecordReadsTheRowAndItsMessage) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  auto r = m.GetRecord(55);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->get(kLrKey), "55");
  EXPECT_EQ(r->get(kLrStatus), "3");
  EXPECT_EQ(r->get(kLrOldStatus), "2");
  EXPECT_EQ(r->get(kLrWoSchedule).trimRight(), "20240307     0");
  EXPECT_EQ(r->get(kLrWrKey), "3");
  EXPECT_EQ(r->get(kLrCDate), "20240302");
  EXPECT_EQ(r->get(kLrCTime), "105127");
  EXPECT_EQ(r->message().header("subject"), "AHU belt");
  EXPECT_TRUE(r->get(kLrHistory).startsWith("03/02 10:51 Pending Processing\r\n"));
  // Cached: the same object comes back, shared between manager objects.
  LogsManager other(*d.gateway);
  EXPECT_EQ(other.GetRecord(55), r);

  EXPECT_EQ(m.GetRecord(1), nullptr);
  EXPECT_EQ(m.status(), 2);
  EXPECT_EQ(m.GetRecord(4242), nullptr);
  EXPECT_EQ(m.status(), 2);
  EXPECT_EQ(m.message(), "log not found");
  EXPECT_EQ(m.RecordAt(99, 2), nullptr);
  EXPECT_NE(m.status(), 0);
  auto first = m.RecordAt(0, 9);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->key(), 75);
}

TEST(LogsManager, AppendTakesTheCounterAndStoresEveryField) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  LogRecord r = newLog(kLogPendingProcessing, "New one");
  r.set(kLrFlags, "");  // an empty FLAGS writes 0
  ASSERT_EQ(m.Append(r), 0);
  EXPECT_EQ(r.key(), 89);
  EXPECT_EQ(prototypeKey(m), 90);
  EXPECT_EQ(m.CountInStatus(kLogPendingProcessing), 5u);
  EXPECT_EQ(m.KeysInStatus(kLogPendingProcessing).back(), 89);

  LogCache::shared().clear();  // read back from the file
  ASSERT_EQ(m.Load(), 0);
  auto back = m.GetRecord(89);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->message().rawText(), r.message().rawText());
  EXPECT_EQ(back->message().header("subject"), "New one");
  EXPECT_EQ(back->get(kLrFlags), "0");
  EXPECT_EQ(back->get(kLrDetails), "details");
  EXPECT_EQ(back->get(kLrCDate), "20240401");
  EXPECT_EQ(checkTables(*d.gateway, {"logs.dbf"}), "");
}

TEST(LogsManager, AppendReportsFailureWhenRecordOneIsMissing) {
  Databases d;
  std::string g = d.scratch.file("gw");
  std::string m = d.scratch.copyFixture("tarnwick", "tw");
  ASSERT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(g), nullptr));
  d.open(g, m);
  { LogsTable create(*d.gateway, kOpenOrCreate); ASSERT_TRUE(create.isOpen()); }  // no record 1
  LogsManager logs(*d.gateway);
  ASSERT_EQ(logs.Load(), 0);
  EXPECT_EQ(logs.CountAll(), 0u);
  LogRecord r = newLog(1, "x");
  int rc = logs.Append(r);
  EXPECT_NE(rc, 0);  // never success without a stored row
  EXPECT_EQ(logs.message(), "can't append to logs table");
  EXPECT_EQ(logs.table().recordCount(), 0);
  EXPECT_FALSE(r.fields().contains(kLrKey));
  EXPECT_EQ(logs.CountAll(), 0u);

  ASSERT_EQ(logs.table().prime(), 0);
  ASSERT_EQ(logs.Append(r), 0);
  EXPECT_EQ(r.key(), 53);
  EXPECT_EQ(checkTables(*d.gateway, {"logs.dbf"}), "");
}

TEST(LogsManager, AppendSkipsKeysAlreadyInUse) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  ASSERT_EQ(m.table().go(1), 0);
  ASSERT_EQ(m.table().field(kLogKey)->assignLong(86), 0);  // a counter left behind
  ASSERT_EQ(m.table().commit(), 0);
  LogRecord r = newLog(2, "late counter");
  ASSERT_EQ(m.Append(r), 0);
  EXPECT_EQ(r.key(), 89);
  EXPECT_EQ(prototypeKey(m), 90);
  ASSERT_EQ(m.Find(89), 0);
  EXPECT_EQ(checkTables(*d.gateway, {"logs.dbf"}), "");
}

TEST(LogsManager, GiveBackOnlyWhenNobodyTookTheNextKey) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.table().go(1), 0);
  ASSERT_EQ(m.table().field(kLogKey)->assignLong(91), 0);  // someone took 90 meanwhile
  ASSERT_EQ(m.table().commit(), 0);
  EXPECT_EQ(giveBackCounterKey(m.table(), kLogKey, 89), 0);
  EXPECT_EQ(prototypeKey(m), 91);
  EXPECT_EQ(giveBackCounterKey(m.table(), kLogKey, 90), 0);
  EXPECT_EQ(prototypeKey(m), 90);
}

TEST(LogsManager, UpdateMovesKeysBetweenListsAndWritesThrough) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  auto r = m.GetRecord(72);  // Pending Processing
  ASSERT_NE(r, nullptr);
  // Same status: lists stay as they were.
  std::vector<long> pending = m.KeysInStatus(1);
  ASSERT_EQ(m.Update(*r, kLrStatus), 0);
  EXPECT_EQ(m.KeysInStatus(1), pending);

  r->SetStatus(kLogWaiting);
  r->SetStatus(kLogTransferred);
  EXPECT_EQ(r->get(kLrOldStatus), "2");  // the status the first call set
  r->AddHistory("*Transferred");
  ASSERT_EQ(m.Update(*r, kLrStatus), 0);
  EXPECT_EQ(m.CountInStatus(1), pending.size() - 1);
  EXPECT_EQ(m.KeysInStatus(3).back(), 72);
  // 209 writes STATUS and OLDSTATUS only; the history waits for its own write.
  LogsManager fresh(*d.gateway);
  ASSERT_EQ(fresh.Find(72), 0);
  EXPECT_EQ(fresh.table().field(kLogStatus)->asLong(), 3);
  EXPECT_EQ(fresh.table().field(kLogOldStatus)->asLong(), 2);
  EXPECT_EQ(fresh.table().field(kLogHistory)->text(), "03/07 16:40 Pending Processing\r\n");
  ASSERT_EQ(m.Update(*r, kLrAllFields), 0);
  ASSERT_EQ(fresh.Find(72), 0);
  EXPECT_TRUE(fresh.table().field(kLogHistory)->text().endsWith(" *Transferred\r\n"));

  LogRecord stranger = newLog(2, "no row");
  stranger.setNumber(kLrKey, 4242);
  EXPECT_EQ(m.Update(stranger, kLrAllFields), 2);
  EXPECT_NE(m.Update(*r, 101), 0);  // not a stored field: nothing reported as written
  EXPECT_EQ(checkTables(*d.gateway, {"logs.dbf"}), "");
}

TEST(LogsManager, RemoveAndChangeStatus) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  ASSERT_EQ(m.ChangeStatus(84, kLogSaved), 0);  // Pending Acknowledgements -> Saved
  EXPECT_EQ(m.CountInStatus(kLogPendingAck), 1u);
  EXPECT_EQ(m.KeysInStatus(kLogSaved).back(), 84);
  EXPECT_EQ(m.GetRecord(84)->get(kLrOldStatus), "8");
  EXPECT_EQ(m.ChangeStatus(4242, kLogSaved), 2);

  ASSERT_EQ(m.Remove(84), 0);
  EXPECT_EQ(m.CountInStatus(kLogSaved), 2u);
  EXPECT_EQ(m.GetRecord(84), nullptr);  // gone from the cache too
  EXPECT_EQ(m.Remove(84), 2);
  ASSERT_EQ(m.Load(), 0);
  EXPECT_EQ(m.CountAll(), 33u);
  EXPECT_EQ(checkTables(*d.gateway, {"logs.dbf"}), "");
}

TEST(LogsManager, CacheHoldsAtMost512AndDropsTheSmallestKey) {
  Databases d;
  std::string g = d.scratch.file("gw");
  std::string mt = d.scratch.copyFixture("tarnwick", "tw");
  ASSERT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(g), nullptr));
  d.open(g, mt);
  ASSERT_TRUE(openAndPrimeLogs(*d.gateway));
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  for (int i = 0; i < 513; ++i) {
    LogRecord r = newLog(kLogSaved, "bulk");
    ASSERT_EQ(m.Append(r), 0);
  }
  EXPECT_EQ(m.CountInStatus(kLogSaved), 513u);
  for (long k = 53; k < 53 + 512; ++k) ASSERT_NE(m.GetRecord(k), nullptr);
  EXPECT_EQ(LogCache::shared().size(), 512u);
  auto oldest = LogCache::shared().find(53);
  ASSERT_NE(oldest, nullptr);
  oldest->set(kLrDetails, "changed only in memory");
  LogsManager second(*d.gateway);  // the cache is the same for every manager
  ASSERT_NE(second.GetRecord(53 + 512), nullptr);
  EXPECT_EQ(LogCache::shared().size(), 512u);
  EXPECT_EQ(LogCache::shared().find(53), nullptr);
  auto again = m.GetRecord(53);  // read from the file anew
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->get(kLrDetails), "details");
  EXPECT_EQ(LogCache::shared().find(54), nullptr);
  EXPECT_EQ(checkTables(*d.gateway, {"logs.dbf"}), "");
}

TEST(LogsManager, ATableThatCannotBeOpenedFailsEveryOperation) {
  Databases d;
  d.openFixtures();
  std::remove(d.scratch.file("gw/logs.cdx").c_str());
  LogsManager m(*d.gateway);
  EXPECT_FALSE(m.isOpen());
  EXPECT_NE(m.Load(), 0);
  EXPECT_NE(m.Find(53), 0);
  LogRecord r = newLog(1, "x");
  EXPECT_NE(m.Append(r), 0);
  EXPECT_EQ(m.message(), "can't append to logs table");
}

}  // namespace
