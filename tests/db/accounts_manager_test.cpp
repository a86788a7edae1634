// AccountsManager against the fixture gateway and maintenance databases.
#include "db/accounts_manager.h"

#include <gtest/gtest.h>

#include "db/account_cache.h"
#include "db/contact_writer.h"
#include "manager_test_support.h"

namespace {

using dbtest::checkTables;
using dbtest::Databases;

long accountsCounter(AccountsManager& m) {
  EXPECT_EQ(m.table().go(1), 0);
  return m.table().field(kAccKey)->asLong();
}

TEST(AccountsManager, LoadFindAndGetAccountReadTheContact) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  ASSERT_EQ(m.Load(), 0);
  EXPECT_EQ(m.accountCount(), 17u);  // one account row is deleted
  auto a = m.GetAccount(4);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->get(kAccountName), "Dubois, Claire");
  EXPECT_EQ(a->get(kAccountPhone), "555-0104");
  EXPECT_EQ(a->get(kAccountEmail), "claire.dubois@tarnwick-demo.example");
  EXPECT_EQ(a->get(kAccountComments), "Parle fran\xC3\xA7" "ais.");  // Windows-1252 in the table
  EXPECT_EQ(a->get(kAccountFlags), "3");
  EXPECT_EQ(a->get(kAccountKey), "56");
  EXPECT_EQ(a->get(kAccountContactKey), "4");
  EXPECT_TRUE(m.AccountAt(0));
  EXPECT_FALSE(m.AccountAt(17));
  EXPECT_FALSE(m.GetAccount(0));
  EXPECT_FALSE(m.GetAccount(18));  // a contact without an account
  EXPECT_EQ(m.message(), "account not found");
  // A hidden contact keeps its account.
  auto hidden = m.GetAccount(8);
  ASSERT_TRUE(hidden);
  EXPECT_EQ(hidden->get(kAccountName), "Hidden, Harry");
}

TEST(AccountsManager, AnAccountWhoseContactWasDeletedIsRemovedOnLookUp) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  ASSERT_EQ(m.Load(), 0);
  EXPECT_EQ(m.Find(10), 2);  // contact 10 is deleted in the maintenance database
  EXPECT_EQ(m.message(), "Contact record is missing");
  EXPECT_EQ(m.accountCount(), 16u);
  EXPECT_EQ(m.Find(10), 2);
  EXPECT_EQ(m.message(), "account not found");
  EXPECT_EQ(checkTables(*d.gateway, {"accounts.dbf"}), "");
}

TEST(AccountsManager, AContactsTableThatCannotBeReadRemovesNothing) {
  Databases d;
  d.openFixtures();
  std::remove(d.scratch.file("tw/contacts.cdx").c_str());
  AccountsManager m(*d.gateway, *d.maintenance);
  ASSERT_EQ(m.Load(), 0);
  EXPECT_LT(m.Find(4), 0);
  EXPECT_EQ(m.message(), "can't open contacts table");
  ASSERT_EQ(m.Load(), 0);
  EXPECT_EQ(m.accountCount(), 17u);
  long key = 0;
  EXPECT_EQ(m.FindContactByEmail("jane.adams@tarnwick-demo.example", &key), 2);
  EXPECT_EQ(m.message(), "can't open contacts table");
}

TEST(AccountsManager, AppendUsesTheCounterAndRefusesDuplicates) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  ASSERT_EQ(m.Load(), 0);
  FieldMap dup;
  dup.setNumber(kAccountContactKey, 4);
  EXPECT_EQ(m.Append(dup), 2);
  EXPECT_EQ(m.message(), "Duplicate Contacts");
  EXPECT_EQ(accountsCounter(m), 71);

  FieldMap fresh;
  fresh.setNumber(kAccountContactKey, 18);
  fresh.setNumber(kAccountFlags, 2);
  ASSERT_EQ(m.Append(fresh), 0);
  EXPECT_EQ(fresh.get(kAccountKey), "71");
  EXPECT_EQ(accountsCounter(m), 72);
  EXPECT_EQ(m.accountCount(), 18u);
  AccountsManager other(*d.gateway, *d.maintenance);  // shares the contact list
  EXPECT_EQ(other.accountCount(), 18u);
  auto a = other.GetAccount(18);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->get(kAccountName), "Okafor, Kofi");
  EXPECT_EQ(a->get(kAccountFlags), "2");

  FieldMap change = *a;
  change.setNumber(kAccountFlags, 0);
  ASSERT_EQ(m.Update(change, kAccountFlags), 0);
  EXPECT_EQ(m.GetAccount(18)->get(kAccountFlags), "0");
  ASSERT_EQ(m.Remove(18), 0);
  EXPECT_EQ(m.accountCount(), 17u);
  EXPECT_FALSE(m.GetAccount(18));
  EXPECT_EQ(m.Remove(18), 2);
  EXPECT_EQ(checkTables(*d.gateway, {"accounts.dbf"}), "");
}

TEST(AccountsManager, EverybodyIsRecordOneAndSavingKeepsTheCounter) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  FieldMap every = m.GetEverybody();
  EXPECT_EQ(every.get(kAccountName), "Everybody");
  EXPECT_EQ(every.get(kAccountFlags), "3");
  every.setNumber(kAccountFlags, 2);
  every.setNumber(kAccountContactKey, 99);
  ASSERT_EQ(m.SaveEverybody(every), 0);
  EXPECT_EQ(accountsCounter(m), 71);
  EXPECT_EQ(m.table().field(kAccContactKey)->asLong(), -1);
  EXPECT_EQ(m.GetEverybody().get(kAccountFlags), "2");
  EXPECT_FALSE(AccountCache::shared().find(-1));  // never cached as an account
  EXPECT_EQ(checkTables(*d.gateway, {"accounts.dbf"}), "");
}

TEST(AccountsManager, FindContactByEmail) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  ASSERT_EQ(m.Load(), 0);
  long key = -1;
  EXPECT_EQ(m.FindContactByEmail("JANE.ADAMS@tarnwick-demo.example", &key), 0);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(m.FindContactByEmail("yuki.tanaka@tarnwick-demo.example", &key), 0);  // stored upper case
  EXPECT_EQ(key, 17);
  EXPECT_EQ(m.FindContactByEmail("kofi.okafor@tarnwick-demo.example", &key), 1);  // no account
  EXPECT_EQ(key, 18);
  EXPECT_EQ(m.FindContactByEmail("bob@example.com", &key), 1);  // exact beats the longer one
  EXPECT_EQ(key, 13);
  // An address that is only the beginning of a stored one is another
  // person's address, not that contact's.
  EXPECT_EQ(m.FindContactByEmail("kofi.okafor@tarnwick-demo.exa", &key), 2);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(m.FindContactByEmail("bob@example.co", &key), 2);
  EXPECT_EQ(m.FindContactByEmail("harry.hidden@tarnwick-demo.example", &key), 2);
  EXPECT_EQ(m.FindContactByEmail("erik.jensen@tarnwick-demo.example", &key), 2);  // deleted
  EXPECT_EQ(m.FindContactByEmail("", &key), 2);
  EXPECT_EQ(m.message(), "");
  EXPECT_EQ(key, 0);
}

TEST(AccountsManager, AddContactNumbersDuplicateNames) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  FieldMap p;
  p.set(kAccountName, "adams, JANE");
  p.set(kAccountEmail, "New.Person@Example.COM");
  ASSERT_EQ(m.AddContact(p), 0);
  EXPECT_EQ(p.get(kAccountContactKey), "31");
  EXPECT_EQ(p.get(kAccountName), "adams, JANE (2)");
  FieldMap q;
  q.set(kAccountName, "Smith, John");  // "Smith, John (2)" exists too
  ASSERT_EQ(m.AddContact(q), 0);
  EXPECT_EQ(q.get(kAccountName), "Smith, John (3)");
  FieldMap r;
  r.set(kAccountName, "Hidden, Harry");  // only a hidden contact has it
  ASSERT_EQ(m.AddContact(r), 0);
  EXPECT_EQ(r.get(kAccountName), "Hidden, Harry");
  long key = 0;
  EXPECT_EQ(m.FindContactByEmail("new.person@example.com", &key), 1);
  EXPECT_EQ(key, 31);
  ASSERT_EQ(m.Append(p), 0);
  EXPECT_EQ(m.GetAccount(31)->get(kAccountEmail), "new.person@example.com");
  EXPECT_EQ(checkTables(*d.maintenance, {"contacts.dbf"}), "");
  EXPECT_EQ(checkTables(*d.gateway, {"accounts.dbf"}), "");
}

TEST(AccountsManager, DescribeAccount) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  FieldMap a;
  a.set(kAccountName, "Ann");
  a.set(kAccountEmail, "ann@x.example");
  a.set(kAccountComments, "Note");
  EXPECT_EQ(m.DescribeAccount(a, kAllAccountFields, false), "Ann\r\nann@x.example\r\n\r\nNote\r\n");
  EXPECT_EQ(m.DescribeAccount(a, kAccountName | kAccountPhone, true),
            stringT::format("%-20s Ann\r\n", "Name:"));
  EXPECT_EQ(m.DescribeAccount(a, kAccountComments, true), stringT::format("%-20s \r\nNote\r\n", "Comments:"));
}

TEST(AccountsManager, CacheHoldsAtMost256) {
  Databases d;
  d.openFixtures();
  AccountsManager m(*d.gateway, *d.maintenance);
  ASSERT_EQ(m.Load(), 0);
  for (int i = 0; i < 257; ++i) {
    NewContact made;
    int code = 0;
    ASSERT_EQ(createContact(*d.maintenance, stringT::format("Person %d", i), "p@x.example", &made, &code), kContactStored);
    FieldMap a;
    a.setNumber(kAccountContactKey, made.key);
    a.setNumber(kAccountFlags, 3);
    ASSERT_EQ(m.Append(a), 0);
  }
  AccountCache::shared().clear();
  ASSERT_EQ(m.Load(), 0);
  for (long k = 31; k < 31 + 256; ++k) ASSERT_TRUE(m.GetAccount(k)) << k;
  EXPECT_EQ(AccountCache::shared().size(), 256u);
  ASSERT_TRUE(m.GetAccount(31 + 256));
  EXPECT_EQ(AccountCache::shared().size(), 256u);
  EXPECT_FALSE(AccountCache::shared().find(31));
  EXPECT_TRUE(AccountCache::shared().find(32));
  EXPECT_EQ(checkTables(*d.maintenance, {"contacts.dbf"}), "");
  EXPECT_EQ(checkTables(*d.gateway, {"accounts.dbf"}), "");
}

}  // namespace
