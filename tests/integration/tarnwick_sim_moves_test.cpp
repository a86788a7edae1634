// tarnwick-sim moves run as a separate process on a database made by
// tarnwick-sim create, then read back through the gateway's managers, as
// the gateway sees the maintenance program's work.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "db/accounts_manager.h"
#include "db/gateway_database.h"
#include "db/maintenance_database.h"
#include "db/maintenance_layouts.h"
#include "db/work_request_manager.h"
#include "engine/i4check.h"

namespace {

namespace fs = std::filesystem;

struct Sim {
  fs::path dir;
  Sim() {
    std::string templ = (fs::temp_directory_path() / "simmoves.XXXXXX").string();
    dir = mkdtemp(templ.data());
  }
  ~Sim() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string db() const { return (dir / "tw").string(); }
  // Runs tarnwick-sim with args; its exit status.
  int run(const std::string& args) const {
    std::string cmd = std::string(ORV_BINARY_DIR) + "/bin/tarnwick-sim " + args + " >/dev/null 2>&1";
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
};

std::string check(DatabaseContext& db, const char* name) {
  std::string problems;
  DBTable t(db, name, kOpenReadOnly);
  if (!t.isOpen()) return std::string(name) + ": cannot open";
  if (i4check(t.data(), [&](const std::string& p) { problems += p + "\n"; }) < 0) problems += "check failed";
  return problems;
}

TEST(TarnwickSimMoves, WorkRequestsInEveryStateTheMovesProduce) {
  Sim s;
  ASSERT_EQ(s.run("create " + s.db()), 0);
  const std::string d = s.db() + " ";
  for (int i = 0; i < 6; ++i) ASSERT_EQ(s.run("new-request " + d + "1 'Request " + std::to_string(i) + "'"), 0);
  EXPECT_EQ(s.run("new-request " + d + "99 'nobody'"), 1);
  ASSERT_EQ(s.run("transfer " + d + "2 --workdate 20240601 --interval 7"), 0);  // work order 1
  ASSERT_EQ(s.run("transfer " + d + "3"), 0);                                    // 2
  ASSERT_EQ(s.run("close " + d + "2 'All done'"), 0);
  ASSERT_EQ(s.run("transfer " + d + "4"), 0);  // 3
  ASSERT_EQ(s.run("void " + d + "order 3"), 0);
  ASSERT_EQ(s.run("void " + d + "request 5"), 0);
  ASSERT_EQ(s.run("transfer " + d + "6"), 0);  // 4, closed and reopened
  ASSERT_EQ(s.run("close " + d + "4"), 0);
  ASSERT_EQ(s.run("reopen " + d + "4"), 0);
  ASSERT_EQ(s.run("reschedule " + d + "1 20240701 14"), 0);
  EXPECT_EQ(s.run("transfer " + d + "2"), 1);    // not open any more
  EXPECT_EQ(s.run("close " + d + "2"), 1);       // already closed
  EXPECT_EQ(s.run("void " + d + "request 2"), 1);
  EXPECT_EQ(s.run("reschedule " + d + "1 20240231 1"), 2);
  EXPECT_EQ(s.run("list " + s.db()), 0);

  MaintenanceDatabase m(stringT(s.db()), nullptr);
  ASSERT_TRUE(m.Validate(true));
  WorkRequestManager wr(m);
  struct Case {
    long key, state, order;
  } cases[] = {{1, 1, 0}, {2, 3, 1}, {3, 4, 2}, {4, 2, 3}, {5, 2, 0}, {6, 3, 4}};
  for (const Case& c : cases) {
    ASSERT_EQ(wr.FindByKey(c.key), 0) << c.key;
    EXPECT_EQ(wr.State(), c.state) << c.key;
    EXPECT_EQ(wr.WorkOrderKey(), c.order) << c.key;
  }
  DBTable& wo = wr.workOrders();
  ASSERT_EQ(wo.seekExact(stringT("C         2")), 0);
  EXPECT_EQ(wo.field(kWoWorkDate)->text(), "20240701");
  EXPECT_EQ(wo.field(kWoWInterval)->asLong(), 14);
  EXPECT_EQ(wo.field(kWoNum)->text().trim(), "5001");
  EXPECT_EQ(wo.field(kWoRequestor)->asLong(), 1);
  for (const char* t : {"wrequest.dbf", "worders.dbf", "contacts.dbf"}) EXPECT_EQ(check(m, t), "") << t;
}

TEST(TarnwickSimMoves, AccountsFollowContactsHiddenOrDeletedByTheMaintenanceProgram) {
  Sim s;
  ASSERT_EQ(s.run("create " + s.db()), 0);
  fs::create_directories(s.dir / "gw");
  GatewayDatabase g(stringT((s.dir / "gw").string()), nullptr);
  ASSERT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT((s.dir / "gw").string()), nullptr));
  ASSERT_TRUE(g.Validate(true));
  ASSERT_TRUE(g.createTables());
  MaintenanceDatabase m(stringT(s.db()), nullptr);
  ASSERT_TRUE(m.Validate(true));
  {
    AccountsManager a(g, m);
    ASSERT_EQ(a.Load(), 0);
    for (long k : {1, 2, 3}) {
      FieldMap r;
      r.setNumber(kAccountContactKey, k);
      r.setNumber(kAccountFlags, 3);
      ASSERT_EQ(a.Append(r), 0);
    }
  }
  ASSERT_EQ(s.run("add-contact " + s.db() + " 'Bob Lee' Other@Example.com"), 0);  // contact 6, "Bob Lee (2)"
  ASSERT_EQ(s.run("hide-contact " + s.db() + " 2"), 0);
  ASSERT_EQ(s.run("delete-contact " + s.db() + " 3"), 0);
  EXPECT_EQ(s.run("delete-contact " + s.db() + " 3"), 1);

  AccountsManager a(g, m);
  ASSERT_EQ(a.Load(), 0);
  long key = 0;
  EXPECT_EQ(a.FindContactByEmail("bob@example.com", &key), 2);  // hidden now
  EXPECT_EQ(a.FindContactByEmail("other@example.com", &key), 1);
  EXPECT_EQ(key, 6);
  auto bob = a.GetAccount(2);
  ASSERT_TRUE(bob);
  EXPECT_EQ(bob->get(kAccountName), "Bob Lee");
  EXPECT_FALSE(a.GetAccount(3));
  EXPECT_EQ(a.message(), "Contact record is missing");
  EXPECT_EQ(a.accountCount(), 2u);
  for (const char* t : {"accounts.dbf"}) EXPECT_EQ(check(g, t), "") << t;
  EXPECT_EQ(check(m, "contacts.dbf"), "");
}

}  // namespace
