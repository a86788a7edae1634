// createContact when the engine refuses the new record: nothing may be
// taken as stored.
#include <gtest/gtest.h>

#include <vector>

#include "db/contact_writer.h"
#include "db/maintenance_layouts.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/index4.h"
#include "manager_test_support.h"

namespace {

using dbtest::Databases;

// Rebuilds contacts.cdx with its usual tags and a candidate tag on the
// address: another program's index may hold such a tag, and the engine
// then refuses a second contact with the same address (result 20).
void addCandidateAddressTag(DatabaseContext& db) {
  dbtest::fs::remove(db.directory() + "/contacts.cdx");
  DBTable t(db, "contacts.dbf", kOpenExisting | kOpenNoIndex | kOpenExclusive);
  ASSERT_TRUE(t.isOpen());
  std::vector<TAG4INFO> tags;
  for (const DBTagInfo& info : contactsLayout().tags)
    tags.push_back({info.name, info.expression, info.filter, info.unique, info.descending});
  tags.push_back({"EMAILONE", "UPPER(EMAIL)", "RECNO()<>1.AND..NOT.DELETED()", r4candidate, 0});
  tags.push_back({nullptr, nullptr, nullptr, 0, 0});
  INDEX4* index = i4create(t.data(), nullptr, tags.data());
  ASSERT_NE(index, nullptr);
}

TEST(ContactWriter, ARecordRefusedByACandidateTagIsNotStored) {
  Databases d;
  d.openFixtures();
  addCandidateAddressTag(*d.maintenance);
  long counter = 0;
  int32_t count = 0;
  {
    DBTable c(*d.maintenance, "contacts.dbf", kOpenReadOnly);
    ASSERT_TRUE(c.isOpen());
    count = c.recordCount();
    ASSERT_EQ(c.go(1), 0);
    counter = c.field(kConKey)->asLong();
  }
  NewContact made;
  int code = 0;
  // A new name, but an address a contact already has.
  EXPECT_EQ(createContact(*d.maintenance, "Someone Else", "Jane.Adams@tarnwick-demo.example", &made, &code),
            kContactCantAppend);
  EXPECT_EQ(code, r4unique);
  EXPECT_EQ(made.key, 0);
  DBTable c(*d.maintenance, "contacts.dbf", kOpenReadOnly);
  ASSERT_TRUE(c.isOpen());
  EXPECT_EQ(c.recordCount(), count);
  ASSERT_EQ(c.go(1), 0);
  EXPECT_EQ(c.field(kConKey)->asLong(), counter) << "the key taken is given back";
  EXPECT_EQ(dbtest::checkTables(*d.maintenance, {"contacts.dbf"}), "");

  // An address nobody has is stored as before.
  EXPECT_EQ(createContact(*d.maintenance, "Someone Else", "someone.else@example.org", &made, &code),
            kContactStored);
  EXPECT_EQ(made.key, counter);
}

}  // namespace
