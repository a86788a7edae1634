// The maintenance-database lookups of the cycle and the console, against
// the fixture database.
#include "db/maintenance_lookups.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "manager_test_support.h"

namespace {

using dbtest::Databases;

TEST(MaintenanceLookups, WorkOrderByKey) {
  Databases d;
  d.openFixtures();
  std::optional<WorkOrderRow> order = findWorkOrder(*d.maintenance, 2);
  ASSERT_TRUE(order);
  EXPECT_EQ(order->number.trim(), "5002");
  EXPECT_EQ(order->createDate.size(), 8u);
  EXPECT_FALSE(findWorkOrder(*d.maintenance, 999));
}

TEST(MaintenanceLookups, NewestRequestIsTheRequestorsOwnUnderTheNumber) {
  Databases d;
  d.openFixtures();
  // The maintenance program's numbers stand right-aligned in WRNUM.
  const stringT number("           1003");
  EXPECT_EQ(newestRequestOf(*d.maintenance, number, 3), 3);
  EXPECT_EQ(newestRequestOf(*d.maintenance, "1003", 3), 0);   // the number as it is not stored
  EXPECT_EQ(newestRequestOf(*d.maintenance, number, 4), 0);   // somebody else's request
  EXPECT_EQ(newestRequestOf(*d.maintenance, "           9999", 3), 0);
  EXPECT_EQ(newestRequestOf(*d.maintenance, number, 0), 0);   // nobody
  EXPECT_EQ(newestRequestOf(*d.maintenance, stringT(std::string(40, '1')), 3), 0);  // longer than the field
}

TEST(MaintenanceLookups, ContactsInNameOrderWithoutDeletedOnes) {
  Databases d;
  d.openFixtures();
  std::vector<ContactRow> rows = listContactsByName(*d.maintenance);
  ASSERT_GE(rows.size(), 3u);
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LE(rows[i - 1].name.str(), rows[i].name.str()) << i;
  bool adams = false;
  for (const ContactRow& r : rows) {
    EXPECT_NE(r.key, 10) << "deleted contact listed";
    if (r.key == 1) {
      adams = true;
      EXPECT_EQ(r.name.trim(), "Adams, Jane");
      EXPECT_EQ(r.email.trim(), "jane.adams@tarnwick-demo.example");
    }
  }
  EXPECT_TRUE(adams);
}

TEST(MaintenanceLookups, MissingTablesAreAnswersNotErrors) {
  Databases d;
  d.openFixtures();
  std::filesystem::remove(d.maintenance->pathOf("wrequest.dbf"));
  std::filesystem::remove(d.maintenance->pathOf("worders.dbf"));
  std::filesystem::remove(d.maintenance->pathOf("contacts.dbf"));
  EXPECT_EQ(newestRequestOf(*d.maintenance, "           1003", 3), -1);
  EXPECT_FALSE(findWorkOrder(*d.maintenance, 2));
  EXPECT_TRUE(listContactsByName(*d.maintenance).empty());
  EXPECT_TRUE(d.shown.texts.empty());
}

}  // namespace
