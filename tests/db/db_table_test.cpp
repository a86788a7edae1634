// DBTable against the fixture tables (written by another program) and
// tables it creates itself.
#include "table/db_table.h"

#include <gtest/gtest.h>

#include <fstream>

#include "db/gateway_database.h"
#include "db/gateway_layouts.h"
#include "db/gateway_tables.h"
#include "db/maintenance_database.h"
#include "db/maintenance_layouts.h"
#include "db_test_support.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "table/db_lookup_link.h"
#include "table/db_table_copy.h"
#include "table/temp_names.h"
#include "table/version_rows.h"

namespace {

using dbtest::RecordingInteraction;
using dbtest::Scratch;
namespace fs = std::filesystem;

struct Named {
  const char* name;
  DBTableLayout layout;
};

TEST(DBTableOpen, EveryFixtureTableOpensWithItsLayout) {
  Scratch s;
  RecordingInteraction shown;
  MaintenanceDatabase tarnwick(stringT(s.copyFixture("tarnwick")), nullptr);
  for (const Named& t : {Named{"contacts.dbf", contactsLayout()}, {"wrequest.dbf", wrequestLayout()},
                         {"worders.dbf", wordersLayout()}, {"units.dbf", unitsLayout()},
                         {"workcat.dbf", workcatLayout()}, {"priority.dbf", priorityLayout()},
                         {"access.dbf", accessLayout()}, {"system/default.dbf", defaultLayout()},
                         {"Versions.dbf", versionsLayout()}}) {
    DBTable table(tarnwick, t.name, kOpenReadOnly, &t.layout);
    EXPECT_TRUE(table.isOpen()) << t.name;
    EXPECT_EQ(table.tagCount(), static_cast<int>(t.layout.tags.size())) << t.name;
  }
  GatewayDatabase gateway(stringT(s.copyFixture("gateway")), nullptr);
  AccountsTable accounts(gateway);
  LogsTable logs(gateway);
  EXPECT_TRUE(accounts.isOpen());
  ASSERT_TRUE(logs.isOpen()) << "TRANSFERRED is stored cut to ten characters";
  GatewayDatabase v1(stringT(s.copyFixture("gateway_v1")), nullptr);
  for (const Named& t : {Named{"logs.dbf", logsLayout1()}, {"accounts.dbf", accountsLayout()}})
    EXPECT_TRUE(DBTable(v1, t.name, kOpenExisting, &t.layout).isOpen()) << t.name;
  GatewayDatabase v2(stringT(s.copyFixture("gateway_v2")), nullptr);
  DBTableLayout layout2 = logsLayout2();
  EXPECT_TRUE(DBTable(v2, "logs.dbf", kOpenExisting, &layout2).isOpen());
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];
}

TEST(DBTableOpen, FieldsTagsAndMissingFiles) {
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase v2(stringT(s.copyFixture("gateway_v2")), nullptr);

  LogsTable wrongTags(v2);  // layout 2 has no status tags
  EXPECT_FALSE(wrongTags.isOpen());
  EXPECT_TRUE(shown.saw("Tag Name not Found"));

  DBTableLayout layout1 = logsLayout1();
  DBTable wrongFields(v2, "logs.dbf", kOpenExisting, &layout1);
  EXPECT_FALSE(wrongFields.isOpen());
  EXPECT_EQ(wrongFields.openResult(), -210);
  EXPECT_TRUE(shown.saw("Incorrect Fields\r\n" + s.file("gateway_v2/logs.dbf")));

  shown.texts.clear();
  DBTable missing(v2, "nothing.dbf", kOpenExisting | kOpenQuiet);
  EXPECT_EQ(missing.openResult(), 70);
  EXPECT_TRUE(shown.texts.empty());
  DBTable reported(v2, "nothing", kOpenExisting);
  EXPECT_FALSE(reported.isOpen());
  EXPECT_FALSE(shown.texts.empty());

  shown.texts.clear();
  DBTable bad(v2, "accounts.dbf", 12);
  EXPECT_TRUE(shown.saw("DBTable::DBTable -- Illegal option value"));
  EXPECT_TRUE(bad.isOpen()) << "a value above 9 opens like 8";
  DBTable bits(v2, "accounts.dbf", kOpenExisting | kOpenExclusive | kOpenShared);
  EXPECT_TRUE(shown.saw("DBTable::DBTable -- Illegal option bits"));
}

TEST(DBTableOpen, OpenOrCreateCreatesAMissingTableQuietly) {
  Scratch s;
  RecordingInteraction shown;
  std::string dir = s.file("db");
  ASSERT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(dir), nullptr));
  GatewayDatabase db(stringT(dir), nullptr);
  {
    LogsTable logs(db, kOpenOrCreate);
    ASSERT_TRUE(logs.isOpen());
    EXPECT_TRUE(logs.wasCreated());
    EXPECT_EQ(logs.tagCount(), 12);
    ASSERT_EQ(logs.prime(), 0);
    ASSERT_EQ(logs.prime(), 0) << "priming twice adds nothing";
    EXPECT_EQ(logs.recordCount(), 1);
  }
  AccountsTable accounts(db, kOpenOrCreate);
  ASSERT_EQ(accounts.prime(), 0);
  ASSERT_EQ(accounts.go(1), 0);
  EXPECT_EQ(accounts.field(kAccKey)->asLong(), 53);
  EXPECT_EQ(accounts.field(kAccFlags)->asLong(), 3);
  EXPECT_EQ(accounts.field(kAccContactKey)->asLong(), -1);
  // The prototype record is in no tag.
  ASSERT_EQ(accounts.selectTag(*accounts.tag(kAccTagKey)), 0);
  EXPECT_EQ(accounts.top(), 3);
  EXPECT_TRUE(accounts.isAfter());
  LogsTable again(db, kOpenOrCreate);
  EXPECT_TRUE(again.isOpen());
  EXPECT_FALSE(again.wasCreated());
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];
}

TEST(DBTableOpen, AliasesAndGeneratedNames) {
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase one(stringT(s.copyFixture("gateway")), nullptr);
  GatewayDatabase two(stringT(s.copyFixture("gateway", "other")), nullptr);
  AccountsTable a(one), b(two);
  EXPECT_STREQ(d4alias(a.data()), "ACCOUNTS");
  EXPECT_STREQ(d4alias(b.data()), "ACCOUNTSX1");

  EXPECT_EQ(generatedName("T???????", kFirstNameNumber), "TQJWYBGA");
  EXPECT_EQ(generatedName("LOG?.dbf", 27), "LOGBBAA.dbf") << "three letters inserted before the dot";
  EXPECT_EQ(generatedName("X", 1), "BAAAX");

  DBTableLayout layout = accountsLayout();
  std::string path;
  {
    DBTable temp(one, "", kOpenTempInDatabase, &layout);
    ASSERT_TRUE(temp.isOpen());
    path = temp.path();
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(one.directory()));
    EXPECT_EQ(fs::path(path).filename().string().size(), 12u);  // T + 7 letters + .dbf
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(fs::exists(fs::path(path).replace_extension(".cdx")));
    DBTable aliased(one, "", kOpenTempAlias, &layout);
    EXPECT_EQ(std::string(d4alias(aliased.data())).rfind("Temp Table ", 0), 0u);
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(fs::path(path).replace_extension(".cdx")));
}

class RangeTest : public ::testing::Test {
 protected:
  RangeTest() : db(stringT(s.copyFixture("gateway")), nullptr), logs(db) {}
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase db;
  LogsTable logs;
};

TEST_F(RangeTest, SkipStopsAtTheEndsOfTheRange) {
  ASSERT_TRUE(logs.isOpen());
  ASSERT_EQ(logs.selectTag(*logs.tag(kLogTagKey)), 0);
  logs.setLower(60.0, kBoundInclusive);
  logs.setUpper(63.0, kBoundInclusive);
  ASSERT_EQ(logs.bottom(), 0);
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 63);
  EXPECT_EQ(logs.skip(1), 3);
  EXPECT_TRUE(logs.isAfter());
  EXPECT_EQ(logs.position(), kPosAfter);
  EXPECT_EQ(logs.skip(-1), 0);
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 63);

  ASSERT_EQ(logs.top(), 0);
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 60);
  EXPECT_EQ(logs.skip(-1), 4);
  EXPECT_TRUE(logs.isBefore());
  EXPECT_EQ(logs.skip(2), 0) << "from before the first, the first step lands on top";
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 61);
  EXPECT_EQ(logs.skip(10), 3);

  logs.setLower(60.0, kBoundExclusive);
  logs.setUpper(63.0, kBoundExclusive);
  ASSERT_EQ(logs.top(), 0);
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 61);
  ASSERT_EQ(logs.bottom(), 0);
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 62);
  EXPECT_TRUE(logs.inRange());

  ASSERT_EQ(logs.goUnset(), 0);
  EXPECT_TRUE(logs.isUnset());
  EXPECT_EQ(logs.skip(1), 3);
  ASSERT_EQ(logs.goUnset(), 0);
  EXPECT_EQ(logs.skip(-1), 4);

  logs.setLower(1000.0, kBoundInclusive);
  logs.clearUpper();
  EXPECT_EQ(logs.top(), 3) << "nothing in range";
  EXPECT_EQ(logs.bottom(), 4);
}

TEST_F(RangeTest, SeeksAndExactSeeks) {
  ASSERT_EQ(logs.selectTag(*logs.tag(kLogTagKey)), 0);
  EXPECT_EQ(logs.seekExact(61.0), 0);
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 61);
  EXPECT_EQ(logs.compareKey(61.0), 0);
  EXPECT_EQ(logs.compareKey(70.0), -1);
  EXPECT_EQ(logs.seekPast(61.0), 2);
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 62);
  EXPECT_EQ(logs.seek(stringT("62")), 0) << "text on a numeric tag is a number";
  EXPECT_EQ(logs.seekExact(1.0), 2) << "not found: positioned on the first greater key";
  EXPECT_EQ(logs.field(kLogKey)->asLong(), 53);
  EXPECT_EQ(logs.seek(100000.0), 3);
  EXPECT_TRUE(logs.isAfter());

  logs.setUpper(61.0, kBoundInclusive);
  EXPECT_EQ(logs.seek(62.0), 3) << "a record outside the range is not found";
  logs.clearUpper();

  // Natural order: numbers are record numbers.
  ASSERT_EQ(logs.selectNatural(), 0);
  EXPECT_EQ(logs.seek(2.5), 2) << "not a whole record number";
  EXPECT_EQ(logs.recordNumber(), 3);
  EXPECT_EQ(logs.seek(1000.0), 3);

  // A seek on a character tag of another table, and the lookup link.
  MaintenanceDatabase tarnwick(stringT(s.copyFixture("tarnwick")), nullptr);
  DBTableLayout layout = contactsLayout();
  DBTable contacts(tarnwick, "contacts.dbf", kOpenReadOnly, &layout);
  ASSERT_EQ(contacts.selectTag(*contacts.tag(kConTagKey)), 0);
  AccountsTable accounts(db);
  accounts.addLink(std::make_unique<DBLookupLink>(accounts, contacts, "STR(CONTACTKEY,10,0)"));
  ASSERT_EQ(accounts.selectTag(*accounts.tag(kAccTagContactKey)), 0);
  ASSERT_EQ(accounts.top(), 0);
  EXPECT_EQ(accounts.performLinks(), 0);
  EXPECT_EQ(contacts.field(kConKey)->asLong(), accounts.field(kAccContactKey)->asLong());
  ASSERT_EQ(accounts.go(1), 0);  // CONTACTKEY -1: no contact
  EXPECT_NE(accounts.performLinks(), 0);
  EXPECT_EQ(contacts.field(kConKey)->asLong(), 0);
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];
}

TEST(DBTableCopy, CopyTableKeepsEveryLiveRecordAndMemo) {
  Scratch s;
  RecordingInteraction shown;
  GatewayDatabase db(stringT(s.copyFixture("gateway")), nullptr);
  ASSERT_EQ(CopyTable(db, "logs.dbf", "copy.dbf"), 0);
  DBTableLayout plain{logsLayout().fields, {}};
  DBTable copy(db, "copy.dbf", kOpenExisting, &plain);
  DBTable original(db, "logs.dbf", kOpenExisting | kOpenNoIndex, &plain);
  ASSERT_TRUE(copy.isOpen());
  EXPECT_FALSE(fs::exists(s.file("gateway/copy.cdx")));
  int32_t live = 0;
  for (int32_t r = 1; r <= original.recordCount(); ++r) {
    ASSERT_EQ(original.go(r), 0);
    if (original.isDeleted()) continue;
    ++live;
    ASSERT_EQ(copy.go(live), 0);
    for (int f = 0; f < original.fieldCount(); ++f)
      EXPECT_EQ(copy.field(f)->raw(), original.field(f)->raw()) << "record " << r << " field " << f;
  }
  EXPECT_EQ(copy.recordCount(), live);
  EXPECT_LT(live, original.recordCount()) << "the fixture has deleted records";
}

}  // namespace
