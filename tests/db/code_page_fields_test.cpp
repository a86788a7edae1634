// Text written into and read from tables in the code page each table
// declares (header byte 29), through the managers that write it.
#include <gtest/gtest.h>

#include <fstream>

#include "db/accounts_manager.h"
#include "db/contact_writer.h"
#include "db/log_cache.h"
#include "db/logs_manager.h"
#include "db/maintenance_layouts.h"
#include "db/work_request_manager.h"
#include "manager_test_support.h"

namespace {

using dbtest::checkTables;
using dbtest::Databases;

// Sets header byte 29 of a copied table.
void markCodePage(const std::string& file, uint8_t mark) {
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(f.is_open()) << file;
  f.seekp(29);
  f.put(static_cast<char>(mark));
}

const char* const kFrenchSubject = "Fen\xC3\xAAtre cass\xC3\xA9" "e \xE2\x80\x94 salle \xC2\xAB" "B\xC2\xBB";

FieldMap request(const stringT& subject, const stringT& description) {
  FieldMap r;
  r.setNumber(kReqRequestor, 9);
  r.set(kReqDate, "20240410");
  r.set(kReqTime, "093000");
  r.set(kReqNumber, "@O00026");
  r.set(kReqSubject, subject);
  r.set(kReqDescription, description);
  r.setNumber(kReqState, 1);
  return r;
}

TEST(CodePageFields, WorkRequestsAreStoredInTheTablesCodePage) {
  Databases d;
  d.openFixtures();
  WorkRequestManager m(*d.maintenance);
  ASSERT_EQ(m.Initiate(), 0);
  // 61 characters of UTF-8 (more bytes): 60 fit, and the cut falls on a
  // character, not on the bytes.
  stringT longSubject = stringT("\xC3\xA9") + stringT(std::string(59, 'x')) + "\xC3\xA9";
  ASSERT_EQ(m.Fill(request(kFrenchSubject, "Vitre f\xC3\xAAl\xC3\xA9" "e.\r\nMerci \xE6\x97\xA5")), 0);
  ASSERT_EQ(m.Commit(), 0);
  ASSERT_EQ(m.Initiate(), 0);
  ASSERT_EQ(m.Fill(request(longSubject, "")), 0);
  ASSERT_EQ(m.Commit(), 0);

  WorkRequestManager again(*d.maintenance);
  ASSERT_EQ(again.FindByKey(25), 0);
  EXPECT_EQ(again.requests().field(kWrSubject)->text(), "Fen\xEAtre cass\xE9" "e \x97 salle \xAB" "B\xBB");
  EXPECT_EQ(again.requests().field(kWrDesc)->raw(), "Vitre f\xEAl\xE9" "e.\r\nMerci ?");
  FieldMap back;
  ASSERT_EQ(again.ReadRequest(back), 0);
  EXPECT_EQ(back.get(kReqSubject).trimRight(), kFrenchSubject);
  EXPECT_EQ(back.get(kReqSubject).length(), std::string(kFrenchSubject).size() + 60 - 26);  // 26 characters, blanks kept
  EXPECT_EQ(back.get(kReqDescription), "Vitre f\xC3\xAAl\xC3\xA9" "e.\r\nMerci ?");

  ASSERT_EQ(again.FindAndRead(26, back), 0);
  EXPECT_EQ(again.requests().field(kWrSubject)->raw(), "\xE9" + stringT(std::string(59, 'x')));
  EXPECT_EQ(checkTables(*d.maintenance, {"wrequest.dbf"}), "");
}

TEST(CodePageFields, AnotherCodePageAndBytesThatAreNotCharacters) {
  Databases d;
  std::string g = d.scratch.copyFixture("gateway", "gw");
  std::string t = d.scratch.copyFixture("tarnwick", "tw");
  markCodePage(t + "/wrequest.dbf", 0xC9);  // Windows-1251
  d.open(g, t);
  WorkRequestManager m(*d.maintenance);
  ASSERT_EQ(m.Initiate(), 0);
  ASSERT_EQ(m.Fill(request("\xD0\x96\xD0\xB0\xD1\x80\xD0\xBA\xD0\xBE \xE2\x82\xAC", "")), 0);  // "Жарко €"
  ASSERT_EQ(m.Commit(), 0);
  ASSERT_EQ(m.FindByKey(25), 0);
  EXPECT_EQ(m.requests().field(kWrSubject)->text(), "\xC6\xE0\xF0\xEA\xEE \x88");
  // 0x98 is no character of Windows-1251: it reads as U+FFFD, so what the
  // console and the notices get is always UTF-8.
  ASSERT_EQ(m.requests().field(kWrSubject)->assign("a\x98z"), 0);
  EXPECT_EQ(m.requests().field(kWrSubject)->utf8Text(), "a\xEF\xBF\xBDz");
}

TEST(CodePageFields, ContactNamesAreStoredInTheCodePageAndComeBackInUtf8) {
  Databases d;
  d.openFixtures();
  NewContact made;
  int code = 0;
  // "Zoë Łukasz": ë exists in Windows-1252, Ł does not.
  const stringT name = "Zo\xC3\xAB \xC5\x81ukasz";
  ASSERT_EQ(createContact(*d.maintenance, name, "Zoe@Example.org", &made, &code), kContactStored);
  EXPECT_EQ(made.name, "Zo\xC3\xAB Lukasz");
  NewContact second;
  ASSERT_EQ(createContact(*d.maintenance, name, "zoe2@example.org", &second, &code), kContactStored);
  EXPECT_EQ(second.name, "Zo\xC3\xAB Lukasz (2)");  // same stored name: a suffix

  DBTable contacts(*d.maintenance, "contacts.dbf", kOpenReadOnly);
  ASSERT_TRUE(contacts.isOpen());
  ASSERT_EQ(contacts.go(contacts.recordCount() - 1), 0);
  EXPECT_EQ(contacts.field(kConCode)->text(), "Zo\xEB Lukasz");
  EXPECT_EQ(contacts.field(kConEmail)->text(), "zoe@example.org");

  AccountsManager accounts(*d.gateway, *d.maintenance);
  long key = 0;
  (void)accounts.FindContactByEmail("ZOE@example.org", &key);
  EXPECT_EQ(key, made.key);
  EXPECT_EQ(checkTables(*d.maintenance, {"contacts.dbf"}), "");
}

TEST(CodePageFields, LogRowsConvertTheirTextsButKeepTheMessageRaw) {
  Databases d;
  d.openFixtures();
  LogsManager m(*d.gateway);
  ASSERT_EQ(m.Load(), 0);
  const stringT raw = "From: a@b.example\r\nSubject: caf\xC3\xA9\r\n\r\nBody \xC3\xA9\xFF\r\n";
  LogRecord r{MailMessage(raw)};
  r.setNumber(kLrStatus, kLogPendingProcessing);
  r.set(kLrHistory, "04/01 10:15 *Invalid: 'caf\xC3\xA9'\r\n");
  r.set(kLrDetails, "Ferm\xC3\xA9.\r\n");
  ASSERT_EQ(m.Append(r), 0);

  ASSERT_EQ(m.Find(r.key()), 0);
  EXPECT_EQ(m.table().field(kLogHistory)->raw(), "04/01 10:15 *Invalid: 'caf\xE9'\r\n");
  EXPECT_EQ(m.table().field(kLogDetails)->raw(), "Ferm\xE9.\r\n");
  EXPECT_EQ(m.table().field(kLogMessage)->raw(), raw);

  LogCache::shared().clear();
  ASSERT_EQ(m.Load(), 0);
  auto back = m.GetRecord(r.key());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->get(kLrHistory), r.get(kLrHistory));
  EXPECT_EQ(back->get(kLrDetails), r.get(kLrDetails));
  EXPECT_EQ(back->message().rawText(), raw);
}

}  // namespace
