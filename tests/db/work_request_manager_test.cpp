// WorkRequestManager against the fixture maintenance database, whose
// work requests stand in every state.
#include "db/work_request_manager.h"

#include <gtest/gtest.h>

#include "db/gateway_tables.h"
#include "db/maintenance_layouts.h"
#include "manager_test_support.h"

namespace {

using dbtest::checkTables;
using dbtest::Databases;

TEST(WorkRequestManager, StatesFromRequestsAndTheirWorkOrders) {
  Databases d;
  d.openFixtures();
  WorkRequestManager m(*d.maintenance);
  ASSERT_TRUE(m.initiated());
  struct Case {
    long key, state, workOrder;
  } cases[] = {
      {1, 1, 0}, {2, 4, 1}, {3, 3, 2}, {4, 2, 0}, {6, 2, 3},  // void work order
      {8, 0, 4},                                              // work order TYPE "H"
      {12, 0, 0},                                             // STATUS "X"
      {7, 5, 0},                                              // "T" without a work order
  };
  for (const Case& c : cases) {
    ASSERT_EQ(m.FindByKey(c.key), 0) << c.key;
    EXPECT_EQ(m.State(), c.state) << c.key;
    EXPECT_EQ(m.WorkOrderKey(), c.workOrder) << c.key;
  }
  FieldMap r;
  ASSERT_EQ(m.FindAndRead(3, r), 0);
  EXPECT_EQ(r.get(kReqNumber), "           1003");
  EXPECT_EQ(r.get(kReqSubject).trimRight(), "AHU-01 belt squealing");
  EXPECT_EQ(r.get(kReqRequestor), "3");
  EXPECT_EQ(r.get(kReqUnit), "1");
  EXPECT_EQ(r.get(kReqState), "3");
  EXPECT_EQ(r.get(kReqWorkOrder), "2");
  EXPECT_EQ(r.get(kReqDate), "20240304");

  EXPECT_EQ(m.FindByKey(42), 1);
  EXPECT_EQ(m.message(), "work request with key '42' not found");
  EXPECT_EQ(m.FindByKey(21), 1);  // deleted
  EXPECT_EQ(m.State(), 3);        // the earlier request stays current
}

TEST(WorkRequestManager, InitiateFillCommit) {
  Databases d;
  d.openFixtures();
  WorkRequestManager m(*d.maintenance);
  FieldMap fresh;
  EXPECT_EQ(m.ReadRequest(fresh), 1);
  EXPECT_EQ(m.message(), "no current work request");
  ASSERT_EQ(m.Initiate(), 0);
  ASSERT_EQ(m.ReadRequest(fresh), 0);
  EXPECT_EQ(fresh.get(kReqNumber).trim(), "1025");
  FieldMap r;
  r.setNumber(kReqRequestor, 9);
  r.set(kReqDate, "20240410");
  r.set(kReqTime, "093000");
  r.set(kReqNumber, "@O00026");
  r.set(kReqSubject, "Door sticks");
  r.set(kReqDescription, "The door sticks.\r\nPlease fix.");
  r.setNumber(kReqUnit, 999);  // no such unit: left blank
  r.setNumber(kReqState, 1);
  r.set(kReqCategory, "NOSUCH");  // codes are not checked
  ASSERT_EQ(m.Fill(r), 0);
  ASSERT_EQ(m.Commit(), 0);
  EXPECT_EQ(m.Commit(), 1);  // nothing prepared any more

  WorkRequestManager again(*d.maintenance);
  FieldMap back;
  ASSERT_EQ(again.FindAndRead(25, back), 0);
  EXPECT_EQ(back.get(kReqNumber).trimRight(), "@O00026");
  EXPECT_EQ(back.get(kReqDescription), "The door sticks.\r\nPlease fix.");
  EXPECT_EQ(back.get(kReqUnit), "0");
  EXPECT_EQ(back.get(kReqCategory).trimRight(), "NOSUCH");
  EXPECT_EQ(again.State(), 1);
  ASSERT_EQ(again.requests().go(1), 0);
  EXPECT_EQ(again.requests().field(kWrKey)->asLong(), 26);
  EXPECT_EQ(again.requests().field(kWrNum)->text().trim(), "1026");

  // An empty 104 leaves WRNUM blank.
  ASSERT_EQ(m.Initiate(), 0);
  r.set(kReqNumber, "");
  r.setNumber(kReqUnit, 2);
  ASSERT_EQ(m.Fill(r), 0);
  ASSERT_EQ(m.Commit(), 0);
  ASSERT_EQ(again.FindAndRead(26, back), 0);
  EXPECT_EQ(back.get(kReqNumber).trim(), "");
  EXPECT_EQ(back.get(kReqUnit), "2");
  EXPECT_EQ(checkTables(*d.maintenance, {"wrequest.dbf"}), "");
}

TEST(WorkRequestManager, MemoTextsAreCutWithTheirLogRow) {
  // The Tarnwick program reads these memos: a request of megabytes keeps
  // its first kMaxTarnwickMemo bytes and names the log row with the rest.
  Databases d;
  d.openFixtures();
  WorkRequestManager m(*d.maintenance);
  std::string eAcute;
  while (eAcute.size() < 300 * 1024) eAcute += "\xC3\xA9";
  struct Case {
    const char* what;
    std::string text;
    bool cut;
  } cases[] = {
      {"short", "The door sticks.", false},
      {"exactly the limit", std::string(kMaxTarnwickMemo, 'a'), false},
      {"long ASCII", std::string(5 * 1024 * 1024, 'b'), true},
      {"long, two-byte characters", eAcute, true},
  };
  long key = 25;
  for (const Case& c : cases) {
    ASSERT_EQ(m.Initiate(), 0);
    FieldMap r;
    r.setNumber(kReqRequestor, 9);
    r.setNumber(kLrKey, 4711);
    r.set(kReqSubject, "Long");
    r.set(kReqDescription, c.text);
    r.set(kReqComment, c.text);
    ASSERT_EQ(m.Fill(r), 0) << c.what;
    ASSERT_EQ(m.Commit(), 0) << c.what;
    WorkRequestManager again(*d.maintenance);
    FieldMap back;
    ASSERT_EQ(again.FindAndRead(key++, back), 0) << c.what;
    std::string stored = back.get(kReqDescription).str();
    if (!c.cut) {
      EXPECT_EQ(stored.size(), c.text.size()) << c.what;
      continue;
    }
    EXPECT_LE(stored.size(), kMaxTarnwickMemo) << c.what;
    EXPECT_GT(stored.size(), kMaxTarnwickMemo - 200) << c.what;
    EXPECT_EQ(stored.substr(0, 100), c.text.substr(0, 100)) << c.what;
    EXPECT_NE(stored.find("\r\n[Text cut at 64 KB; the whole text is in @Orvane log 4711]"), std::string::npos)
        << c.what << ": " << stored.substr(stored.size() - 100);
    EXPECT_EQ(stored.find("\xEF\xBF\xBD"), std::string::npos) << c.what << ": a character was split";
    EXPECT_LE(back.get(kReqComment).size(), kMaxTarnwickMemo) << c.what;
  }
  EXPECT_EQ(checkTables(*d.maintenance, {"wrequest.dbf"}), "");
}

TEST(WorkRequestManager, MissingRequestorKeepsTheCountersAdvanced) {
  Databases d;
  d.openFixtures();
  WorkRequestManager m(*d.maintenance);
  ASSERT_EQ(m.Initiate(), 0);
  FieldMap r;
  r.setNumber(kReqRequestor, 10);  // deleted contact
  EXPECT_EQ(m.Fill(r), 1);
  EXPECT_EQ(m.message(), "can't find requestor");
  WorkRequestManager other(*d.maintenance);
  ASSERT_EQ(other.requests().go(1), 0);
  EXPECT_EQ(other.requests().field(kWrKey)->asLong(), 26);
  EXPECT_EQ(other.requests().recordCount(), 25);  // nothing appended
  EXPECT_EQ(checkTables(*d.maintenance, {"wrequest.dbf"}), "");
}

TEST(WorkRequestManager, SetStateWritesOnlyTheLettersItKnows) {
  Databases d;
  d.openFixtures();
  WorkRequestManager m(*d.maintenance);
  EXPECT_EQ(m.SetState(2), 1);
  ASSERT_EQ(m.FindByKey(1), 0);
  ASSERT_EQ(m.SetState(4), 0);
  EXPECT_EQ(m.State(), 4);
  WorkRequestManager other(*d.maintenance);
  ASSERT_EQ(other.FindByKey(1), 0);
  EXPECT_EQ(other.State(), 1);  // STATUS unchanged
  ASSERT_EQ(m.SetState(2), 0);
  ASSERT_EQ(other.FindByKey(1), 0);
  EXPECT_EQ(other.State(), 2);  // written at once
  EXPECT_EQ(checkTables(*d.maintenance, {"wrequest.dbf"}), "");
}

TEST(WorkRequestManager, MissingTablesLeaveItNotInitiated) {
  Databases d;
  d.openFixtures();
  std::remove(d.scratch.file("tw/units.dbf").c_str());
  WorkRequestManager m(*d.maintenance);
  EXPECT_FALSE(m.initiated());
  EXPECT_EQ(m.message(), "can't load one or more tables");
  EXPECT_EQ(m.FindByKey(1), 1);
  EXPECT_EQ(m.message(), "not initiated");
  EXPECT_EQ(m.Initiate(), 1);
  EXPECT_EQ(m.Commit(), 1);
  FieldMap r;
  EXPECT_EQ(m.Fill(r), 1);
  EXPECT_EQ(m.message(), "no current work request");
}

}  // namespace
