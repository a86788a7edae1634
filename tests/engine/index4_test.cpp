// Tags we create ourselves: seeks, unique modes with their undo, splits and
// the free list under many changes, the seek wrappers, a second context
// changing the index, and the query scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "cdx_test_bytes.h"
#include "data4_test_util.h"
#include "engine/i4check.h"
#include "engine/index4.h"
#include "engine/relate4.h"
#include "engine/sort4.h"

namespace {

const FIELD4INFO kFields[] = {
    {"KEY", 'N', 10, 0, 0}, {"NAME", 'C', 12, 0, 0}, {"BORN", 'D', 8, 0, 0},
    {"OK", 'L', 1, 0, 0},   {nullptr, 0, 0, 0, 0},
};

class Index4Test : public ::testing::Test {
 protected:
  DATA4* create(const std::vector<TAG4INFO>& tags) {
    std::vector<TAG4INFO> list = tags;
    list.push_back({nullptr, nullptr, nullptr, 0, 0});
    return d4create(&tc.c, dir.file("t.dbf"), kFields, list.data());
  }
  int append(DATA4* d, long key, const char* name, const char* born = "20000101") {
    int rc = d4appendStart(d, 0);
    if (rc) return rc;
    (void)d4blank(d);
    (void)f4assignLong(d4field(d, "KEY"), key);
    (void)f4assign(d4field(d, "NAME"), name);
    (void)f4assign(d4field(d, "BORN"), born);
    (void)f4assign(d4field(d, "OK"), "T");
    return d4append(d);
  }
  std::string check(DATA4* d) {
    std::string problems;
    int rc = i4check(d, [&](const std::string& s) { problems += s + "\n"; });
    return rc == 0 ? "" : problems + "rc " + std::to_string(rc);
  }
  ScratchDir dir;
  TestContext tc;
};

TEST_F(Index4Test, CharacterSeeksArePartialKeys) {
  DATA4* d = create({{"NAME", "NAME", nullptr, 0, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, 1, "ABCX"), 0);
  ASSERT_EQ(append(d, 2, "ABD"), 0);
  TAG4* t = d4tag(d, "name");  // lower case is found
  ASSERT_NE(t, nullptr);
  d4tagSelect(d, t);
  EXPECT_EQ(d4seek(d, "ABC"), 0);
  EXPECT_EQ(d4recNo(d), 1);
  EXPECT_EQ(d4seek(d, "ABCY"), r4after);
  EXPECT_EQ(d4recNo(d), 2);
  EXPECT_EQ(d4seek(d, "ABE"), r4eof);
  EXPECT_TRUE(d4eof(d));
  EXPECT_EQ(d4seekDouble(d, 1), e4seek);
  error4set(&tc.c, 0);
  EXPECT_EQ(d4seekLastText(d, "ABC"), 0);
  EXPECT_EQ(d4recNo(d), 1);
  EXPECT_EQ(d4seekLastText(d, "ZZZ"), 0);
  EXPECT_EQ(d4recNo(d), 2);
  d4tagSelect(d, nullptr);
  EXPECT_EQ(d4seek(d, "ABC"), r4noTag);
  EXPECT_EQ(d4seekNumber(d, 1.5), r4after);
  EXPECT_EQ(d4recNo(d), 2);
  EXPECT_EQ(d4seekNumber(d, 7), r4eof);
  (void)d4close(d);
}

TEST_F(Index4Test, NumericAndDateTags) {
  DATA4* d = create({{"KEY", "KEY", nullptr, 0, 0}, {"BORN", "BORN", nullptr, 0, 0},
                     {"KEYDESC", "KEY", nullptr, 0, r4descending}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, -5, "a", "19991231"), 0);
  ASSERT_EQ(append(d, 10, "b", "20000101"), 0);
  ASSERT_EQ(append(d, 3, "c", "20000102"), 0);
  d4tagSelect(d, d4tag(d, "BORN"));
  EXPECT_EQ(d4seekDouble(d, 2451545), 0);
  EXPECT_EQ(d4recNo(d), 2);
  EXPECT_EQ(d4seekText(d, "20000102"), 0);  // a date tag takes CCYYMMDD text
  EXPECT_EQ(d4recNo(d), 3);
  d4tagSelect(d, d4tag(d, "KEY"));
  EXPECT_EQ(d4seekText(d, "3"), 0);
  EXPECT_EQ(d4recNo(d), 3);
  EXPECT_EQ(d4seekNumber(d, 4), r4after);
  EXPECT_EQ(d4recNo(d), 2);
  EXPECT_EQ(d4seekLastNumber(d, 4), 0);
  EXPECT_EQ(d4recNo(d), 3);
  EXPECT_EQ(d4top(d), 0);
  EXPECT_EQ(d4recNo(d), 1);
  d4tagSelect(d, d4tag(d, "KEYDESC"));
  std::vector<int> order;
  for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) order.push_back(d4recNo(d));
  EXPECT_EQ(order, (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(d4seekDouble(d, 3), 0);
  EXPECT_EQ(d4recNo(d), 3);
  EXPECT_EQ(d4seekDouble(d, 4), r4after);
  EXPECT_EQ(d4recNo(d), 3);
  (void)d4close(d);
}

TEST_F(Index4Test, UniqueRefusalUndoesEarlierTags) {
  DATA4* d = create({{"NAME", "NAME", nullptr, 0, 0}, {"KEY", "KEY", nullptr, r4unique, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, 1, "one"), 0);
  ASSERT_EQ(append(d, 2, "two"), 0);
  EXPECT_EQ(append(d, 1, "dup"), r4unique);
  EXPECT_EQ(d4recCount(d), 2);
  ASSERT_EQ(d4go(d, 2), 0);
  (void)f4assignLong(d4field(d, "KEY"), 1);
  (void)f4assign(d4field(d, "NAME"), "renamed");
  EXPECT_EQ(d4write(d, -1), r4unique);
  d4changed(d, 0);
  EXPECT_EQ(check(d), "");
  d4tagSelect(d, d4tag(d, "NAME"));
  EXPECT_EQ(d4seek(d, "renamed"), r4after);  // not there: the write was undone
  EXPECT_EQ(d4recNo(d), 2);
  EXPECT_EQ(d4seek(d, "two"), 0);
  (void)d4close(d);
}

// The other holder of a key is found wherever it sits: before or after the
// new entry's place, in the same leaf or the next one. Every key of a tag
// spread over many leaves is tried again, from a record on either side.
TEST_F(Index4Test, UniqueTagsRefuseEveryKeyAgainAcrossLeaves) {
  DATA4* d = create({{"NAME", "NAME", nullptr, r4unique, 0}});
  ASSERT_NE(d, nullptr);
  auto name = [](int i) { return "N" + std::to_string(100000 + i * 7); };
  for (int i = 0; i < 1500; i++) ASSERT_EQ(append(d, i, name(i).c_str()), 0);
  for (int i = 0; i < 1500; i++) {
    ASSERT_EQ(append(d, i, name(i).c_str()), r4unique) << name(i);
    // A key already held by a later record, written over an earlier one.
    ASSERT_EQ(d4go(d, 1), 0);
    (void)f4assign(d4field(d, "NAME"), name(i).c_str());
    ASSERT_EQ(d4write(d, -1), i == 0 ? 0 : r4unique) << name(i);
    d4changed(d, 0);
  }
  EXPECT_EQ(d4recCount(d), 1500);
  EXPECT_EQ(check(d), "");
  (void)d4close(d);
}

TEST_F(Index4Test, UniqueModes) {
  DATA4* d = create({{"K25", "KEY", nullptr, r4uniqueContinue, 0},
                     {"K340", "NAME", nullptr, e4unique, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, 1, "a"), 0);
  EXPECT_EQ(append(d, 1, "b"), 0);  // kept, without an entry in K25
  EXPECT_EQ(d4recCount(d), 2);
  EXPECT_EQ(append(d, 3, "a"), e4unique);
  error4set(&tc.c, 0);
  EXPECT_EQ(d4recCount(d), 2);
  EXPECT_EQ(check(d), "");
  // Deleting the holder of key 1 hands the key to record 2.
  ASSERT_EQ(d4go(d, 1), 0);
  (void)f4assignLong(d4field(d, "KEY"), 9);
  ASSERT_EQ(d4write(d, -1), 0);
  d4tagSelect(d, d4tag(d, "K25"));
  EXPECT_EQ(d4seekDouble(d, 1), 0);
  EXPECT_EQ(d4recNo(d), 2);
  EXPECT_EQ(check(d), "");
  (void)d4close(d);
}

TEST_F(Index4Test, CreatingAUniqueTagOverDuplicatesLeavesNoFile) {
  DATA4* d = d4create(&tc.c, dir.file("t.dbf"), kFields);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, 1, "x"), 0);
  ASSERT_EQ(append(d, 1, "y"), 0);
  TAG4INFO tags[] = {{"KEY", "KEY", nullptr, r4unique, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  INDEX4* idx = nullptr;
  EXPECT_EQ(i4createResult(d, nullptr, tags, &idx), r4unique);
  EXPECT_EQ(idx, nullptr);
  EXPECT_EQ(fileSize(dir.file("t.cdx")), -1);
  TAG4INFO bad[] = {{"KEY", "KEY", nullptr, 7, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  EXPECT_EQ(i4createResult(d, nullptr, bad, &idx), e4tagInfo);
  (void)d4close(d);
}

TEST_F(Index4Test, ManyChangesSplitAndFreeNodes) {
  DATA4* d = create({{"NAME", "UPPER(NAME)", ".NOT.DELETED()", 0, 0}, {"KEY", "KEY", nullptr, 0, 0},
                     {"WIDE", "NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME", nullptr, 0, 0}});
  ASSERT_NE(d, nullptr);
  srand(3);
  for (int i = 0; i < 3000; i++) {
    char name[16];
    snprintf(name, sizeof name, "n%05d", rand() % 4000);
    ASSERT_EQ(append(d, rand() % 100000, name), 0);
  }
  ASSERT_EQ(check(d), "");
  long grown = fileSize(dir.file("t.cdx"));
  // Delete most records (filter) and change keys, then fill up again: the
  // freed nodes are reused.
  for (int r = 1; r <= 3000; r++) {
    ASSERT_EQ(d4go(d, r), 0);
    if (r % 10) (void)d4delete(d);
    (void)f4assignLong(d4field(d, "KEY"), r % 10 ? 5 : r);
    ASSERT_EQ(d4write(d, -1), 0);
  }
  EXPECT_EQ(check(d), "");
  for (int r = 1; r <= 3000; r++) {
    ASSERT_EQ(d4go(d, r), 0);
    (void)d4recall(d);
    ASSERT_EQ(d4write(d, -1), 0);
  }
  EXPECT_EQ(check(d), "");
  EXPECT_LT(fileSize(dir.file("t.cdx")), grown + grown / 8);  // freed nodes were reused
  d4tagSelect(d, d4tag(d, "KEY"));
  long n = 0;
  for (int rc = d4bottom(d); rc == 0; rc = d4skip(d, -1)) n++;
  EXPECT_EQ(n, 3000);
  (void)d4close(d);
}

// Appends in key order (keys patched into the last leaf) mixed with keys
// of a few values landing inside leaves, as a log table sees them; the
// file must stay what a full rewrite would give, through many splits.
TEST_F(Index4Test, AppendsInKeyOrderAndIntoLeaves) {
  DATA4* d = create({{"KEY", "KEY", nullptr, 0, 0}, {"NAME", "NAME", nullptr, 0, 0},
                     {"HIGH", "KEY", "KEY>2000", 0, 0}});
  ASSERT_NE(d, nullptr);
  for (int i = 1; i <= 4000; i++) ASSERT_EQ(append(d, i, i % 7 == 0 ? "seven" : "other"), 0);
  ASSERT_EQ(check(d), "");
  (void)d4close(d);
  // A fresh open reads back what was written, not the cache.
  d = d4open(&tc.c, dir.file("t.dbf"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(check(d), "");
  d4tagSelect(d, d4tag(d, "HIGH"));
  long n = 0;
  for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) n++;
  EXPECT_EQ(n, 2000);
  (void)d4close(d);
}

// Keys appended in order fill their nodes: the file grows about as much as
// a rebuild from scratch needs, not twice that.
TEST_F(Index4Test, KeysAppendedInOrderFillTheirNodes) {
  DATA4* d = create({{"KEY", "KEY", nullptr, 0, 0}, {"SAME", "OK", nullptr, 0, 0}});
  ASSERT_NE(d, nullptr);
  for (int i = 1; i <= 6000; i++) ASSERT_EQ(append(d, i, "x"), 0);
  ASSERT_EQ(check(d), "");
  long appended = fileSize(dir.file("t.cdx"));
  ASSERT_EQ(d4reindex(d), 0);
  long rebuilt = fileSize(dir.file("t.cdx"));
  EXPECT_LE(appended, rebuilt + rebuilt / 10) << "rebuilt " << rebuilt;
  (void)d4close(d);
}

// Changed nodes are written as just their changed bytes; another context
// reading the file must find the same tree as the one that wrote it.
TEST_F(Index4Test, AnotherContextReadsTheTreeThatWasWritten) {
  // Names in order whose first byte changes as they go, and their random
  // last three characters.
  DATA4* d = create({{"KEY", "KEY", nullptr, 0, 0},
                     {"NAME", "NAME", nullptr, 0, 0},
                     {"TAIL", "RIGHT(NAME,3)", nullptr, 0, 0},
                     {"SAME", "OK", "OK", 0, 0}});
  ASSERT_NE(d, nullptr);
  for (int i = 1; i <= 3000; i++) {
    char name[16];
    snprintf(name, sizeof name, "%c%04d%03d", 'A' + i / 120, i, (i * 7919) % 1000);
    ASSERT_EQ(append(d, i, name), 0);
    (void)d4unlock(d);
  }
  auto checkElsewhere = [&] {
    TestContext other;
    DATA4* again = d4open(&other.c, dir.file("t.dbf"));
    if (!again) return std::string("not opened");
    std::string problems = check(again);
    (void)d4close(again);
    return problems;
  };
  // The last append changed the first byte of the last name.
  EXPECT_EQ(checkElsewhere(), "");
  // Keys that move to the end, out of the filter, and back.
  for (int r = 2990; r >= 1; r -= 13) {
    ASSERT_EQ(d4go(d, r), 0);
    (void)f4assignLong(d4field(d, "KEY"), 5000 + r);
    (void)f4assign(d4field(d, "NAME"), r % 2 ? "a" : "zz");
    (void)f4assign(d4field(d, "OK"), r % 3 ? "F" : "T");
    ASSERT_EQ(d4write(d, -1), 0);
    (void)d4unlock(d);
  }
  ASSERT_EQ(check(d), "");
  EXPECT_EQ(checkElsewhere(), "");
  (void)d4close(d);
}

// Tags sharing a key or a filter text, or extending another's filter:
// each still gets its own entries, including a tag whose key twin's
// filter refused the record.
TEST_F(Index4Test, TagsSharingExpressionsKeepTheirOwnEntries) {
  // EXT extends YES's filter; EXTOR and ORMORE only look as if they did
  // (their top-level operator is .OR.).
  DATA4* d = create({{"YES", "NAME", "OK", 0, 0},
                     {"NO", "NAME", ".NOT.OK", 0, 0},
                     {"YESKEY", "KEY", "OK", 0, 0},
                     {"ALL", "NAME", nullptr, 0, 0},
                     {"KEY", "KEY", nullptr, 0, 0},
                     {"EXT", "KEY", "OK.AND.KEY>100.AND.KEY<>150", 0, 0},
                     {"EXTOR", "KEY", "OK.AND.KEY>250.OR.KEY<20", 0, 0},
                     {"ORBASE", "KEY", "OK.OR.KEY>290", 0, 0},
                     {"ORMORE", "KEY", "OK.OR.KEY>290.AND.KEY<3", 0, 0}});
  ASSERT_NE(d, nullptr);
  for (int i = 1; i <= 300; i++) {
    char name[16];
    snprintf(name, sizeof name, "n%03d", (i * 37) % 300);
    ASSERT_EQ(append(d, i, name), 0);
    if (i % 3 == 0) {
      (void)f4assign(d4field(d, "OK"), "F");
      ASSERT_EQ(d4write(d, -1), 0);
    }
  }
  ASSERT_EQ(check(d), "");
  // Flip the filter and the key of every fifth record.
  for (int r = 5; r <= 300; r += 5) {
    ASSERT_EQ(d4go(d, r), 0);
    (void)f4assign(d4field(d, "OK"), f4true(d4field(d, "OK")) ? "F" : "T");
    (void)f4assign(d4field(d, "NAME"), "changed");
    ASSERT_EQ(d4write(d, -1), 0);
  }
  EXPECT_EQ(check(d), "");
  auto count = [&](const char* tag) {
    d4tagSelect(d, d4tag(d, tag));
    long n = 0;
    for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) n++;
    return n;
  };
  long yes = 0;
  for (int r = 1; r <= 300; r++) {
    ASSERT_EQ(d4go(d, r), 0);
    yes += f4true(d4field(d, "OK")) ? 1 : 0;
  }
  EXPECT_EQ(count("YES"), yes);
  EXPECT_EQ(count("YESKEY"), yes);
  EXPECT_EQ(count("NO"), 300 - yes);
  EXPECT_EQ(count("ALL"), 300);
  EXPECT_EQ(count("ORMORE"), yes);
  (void)d4close(d);
}

TEST_F(Index4Test, FiltersComparingNumberFieldsWithNumbers) {
  // Tests that read one field once must still tell fields, numbers and
  // look-alike filters apart, for appends and for writes.
  const FIELD4INFO fields[] = {{"KEY", 'N', 10, 0, 0},   {"STATUS", 'N', 6, 1, 0},
                               {"OLDSTATUS", 'N', 6, 1, 0}, {"OK", 'L', 1, 0, 0},
                               {nullptr, 0, 0, 0, 0}};
  const std::vector<std::pair<const char*, const char*>> filters = {
      {"BASE", "OK"},                {"ONE", "STATUS=1"},          {"OLDONE", "OLDSTATUS=1"},
      {"TWO", "OK.AND.STATUS=2"},    {"OLDTWO", "OK.AND.OLDSTATUS=2"}, {"HALF", "STATUS=2.5"},
      {"NEG", "OK.AND.STATUS=-1"},   {"MORE", "OK.AND.STATUS>1"},  {"EITHER", "STATUS=1.OR.OK"},
      {"SAME", "STATUS=OLDSTATUS"},  {"ONEAGAIN", "OK.AND.STATUS=1"}};
  std::vector<TAG4INFO> tags;
  for (auto& [name, filter] : filters) tags.push_back({name, "KEY", filter, 0, 0});
  tags.push_back({nullptr, nullptr, nullptr, 0, 0});
  DATA4* d = d4create(&tc.c, dir.file("n.dbf"), fields, tags.data());
  ASSERT_NE(d, nullptr);
  // Each field the number tests compare is read once per record.
  ASSERT_EQ(d->indexes.size(), 1u);
  EXPECT_EQ(d->indexes[0]->numberFields.size(), 2u);
  const char* values[] = {"0", "1", "2", "2.5", "-1", "1.0"};
  auto assign = [&](int r, int salt) {
    (void)f4assign(d4field(d, "STATUS"), values[(r * 7 + salt) % 6]);
    (void)f4assign(d4field(d, "OLDSTATUS"), values[(r * 5 + salt) % 6]);
    (void)f4assign(d4field(d, "OK"), (r + salt) % 4 ? "T" : "F");
  };
  for (int r = 1; r <= 240; r++) {
    ASSERT_EQ(d4appendStart(d, 0), 0);
    (void)d4blank(d);
    (void)f4assignLong(d4field(d, "KEY"), r);
    assign(r, 0);
    ASSERT_EQ(d4append(d), 0);
  }
  ASSERT_EQ(check(d), "");
  for (int r = 4; r <= 240; r += 4) {
    ASSERT_EQ(d4go(d, r), 0);
    assign(r, 1);
    ASSERT_EQ(d4write(d, -1), 0);
  }
  EXPECT_EQ(check(d), "");
  // Each tag holds the records its filter selects, counted from the fields.
  for (auto& [name, filter] : filters) {
    EXPR4* e = expr4parse(d, filter);
    ASSERT_NE(e, nullptr);
    long expected = 0, held = 0;
    for (int r = 1; r <= 240; r++) {
      ASSERT_EQ(d4go(d, r), 0);
      expected += expr4true(e);
    }
    expr4free(e);
    d4tagSelect(d, d4tag(d, name));
    for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) held++;
    EXPECT_EQ(held, expected) << name;
    EXPECT_GT(expected, 0) << name;
  }
  (void)d4close(d);
}

TEST_F(Index4Test, AnotherContextSeesOurChanges) {
  DATA4* d = create({{"NAME", "NAME", nullptr, 0, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, 1, "first"), 0);
  (void)d4close(d);
  TestContext other;
  DATA4* a = d4open(&tc.c, dir.file("t.dbf"));
  DATA4* b = d4open(&other.c, dir.file("t.dbf"));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  d4tagSelect(a, d4tag(a, "NAME"));
  d4tagSelect(b, d4tag(b, "NAME"));
  EXPECT_EQ(d4seek(a, "second"), r4eof);  // caches the tree
  for (int i = 0; i < 200; i++) {
    char name[16];
    snprintf(name, sizeof name, "second%03d", i);
    ASSERT_EQ(append(b, i, name), 0);
    (void)d4unlock(b);
  }
  EXPECT_EQ(d4seek(a, "second150"), 0);
  EXPECT_EQ(d4recNo(a), 152);
  EXPECT_EQ(check(a), "");
  (void)d4close(b);
  (void)d4close(a);
}

TEST_F(Index4Test, QueryScanVisitsMatchingRecordsInTagOrder) {
  DATA4* d = create({{"NAME", "NAME", nullptr, 0, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, 1, "c"), 0);
  ASSERT_EQ(append(d, 2, "a"), 0);
  ASSERT_EQ(append(d, 3, "b"), 0);
  ASSERT_EQ(d4go(d, 3), 0);
  (void)d4delete(d);
  ASSERT_EQ(d4write(d, -1), 0);
  d4tagSelect(d, d4tag(d, "NAME"));
  RELATE4* r = relate4init(d);
  ASSERT_EQ(relate4querySet(r, ".NOT.DELETED()"), 0);
  std::vector<int> seen;
  int rc;
  for (rc = relate4top(r); rc == 0; rc = relate4skip(r, 1)) seen.push_back(d4recNo(d));
  EXPECT_EQ(rc, r4eof);
  EXPECT_EQ(seen, (std::vector<int>{2, 1}));
  relate4free(r);
  (void)d4close(d);
}

TEST_F(Index4Test, StaleEntriesAreSkippedBySeeks) {
  DATA4* d = create({{"NAME", "NAME", nullptr, 0, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(append(d, 1, "alpha"), 0);
  ASSERT_EQ(append(d, 2, "beta"), 0);
  ASSERT_EQ(append(d, 3, "gamma"), 0);
  uint32_t headerLen = d->dataFile->header.headerLength;
  uint32_t recLen = d->dataFile->header.recordLength;
  (void)d4close(d);
  // Another program changed record 1 and has not yet updated the index, and
  // record 3 is not yet counted in the header we read.
  auto bytes = readBytes(dir.file("t.dbf"));
  uint32_t nameAt = headerLen + 0 * recLen + 1 + 10;
  memcpy(&bytes[nameAt], "zeta", 4);
  bytes[4] = 2;
  writeBytes(dir.file("t.dbf"), bytes);
  d = d4open(&tc.c, dir.file("t.dbf"));
  ASSERT_NE(d, nullptr);
  d4tagSelect(d, d4tag(d, "NAME"));
  EXPECT_EQ(d4seek(d, "alpha"), r4after);
  EXPECT_EQ(d4recNo(d), 2);
  EXPECT_EQ(d4seek(d, "gamma"), r4eof);
  EXPECT_EQ(d4seek(d, "beta"), 0);
  EXPECT_EQ(d4recNo(d), 2);
  (void)d4close(d);
}

// Nodes whose offsets share a slot of the front table, a node replaced at
// its offset, erased and cleared nodes: find returns the node the cache
// holds now, never one it let go of.
TEST(NodeCache, FindsWhatItHoldsAndNothingItLetGo) {
  auto node = [](uint32_t offset) {
    auto n = std::make_unique<CachedNode>();
    n->offset = offset;
    return n;
  };
  const uint32_t a = 1024, b = a + 256 * 512;  // the same front slot
  NodeCache cache;
  CachedNode* na = cache.put(node(a));
  CachedNode* nb = cache.put(node(b));
  EXPECT_EQ(cache.find(a), na);
  EXPECT_EQ(cache.find(b), nb);
  EXPECT_EQ(cache.find(a), na);
  CachedNode* na2 = cache.put(node(a));
  EXPECT_EQ(cache.find(a), na2);
  EXPECT_EQ(cache.size(), 2u);
  cache.erase(a);
  EXPECT_EQ(cache.find(a), nullptr);
  EXPECT_EQ(cache.find(b), nb);
  cache.erase(b);
  EXPECT_EQ(cache.find(b), nullptr);
  cache.put(node(a));
  cache.clear();
  EXPECT_EQ(cache.find(a), nullptr);
  EXPECT_EQ(cache.size(), 0u);
}

TEST(Sort4, SpillsToTemporaryFilesAndMerges) {
  TestContext tc;
  SORT4 s;
  sort4init(&s, &tc.c, 6, 64 * 10);  // 64 entries in memory at most
  srand(5);
  std::vector<std::string> keys;
  for (uint32_t i = 1; i <= 2000; i++) {
    char k[8];
    snprintf(k, sizeof k, "%06d", rand() % 1000);
    keys.push_back(k);
    ASSERT_EQ(sort4put(&s, k, i), 0);
  }
  ASSERT_EQ(sort4getInit(&s), 0);
  EXPECT_GT(s.runs.size(), 10u);
  std::string prev;
  uint32_t prevRec = 0;
  int n = 0;
  const char* key;
  uint32_t rec;
  while (sort4get(&s, &key, &rec) == 0) {
    std::string k(key, 6);
    EXPECT_TRUE(prev < k || (prev == k && prevRec < rec));
    EXPECT_EQ(keys[rec - 1], k);
    prev = k;
    prevRec = rec;
    n++;
  }
  EXPECT_EQ(n, 2000);
  sort4free(&s);
}

// Entries of every size come back in the order of their bytes, unsigned,
// then record number, whether they were sorted in memory or in spilled
// runs: short ones are sorted as integers, long ones through indexes.
TEST(Sort4, EntriesOfEverySizeOrderAsTheirBytes) {
  TestContext tc;
  std::mt19937 rng(11);
  for (int keyLen : {1, 4, 8, 11, 12, 13, 20, 40}) {
    // Two runs spilled to files for the sizes on either side of 16 bytes
    // (temporary file names take a second each, so not for all sizes).
    std::vector<size_t> budgets = {size_t(1) << 20};
    if (keyLen == 12 || keyLen == 13) budgets.push_back(size_t(keyLen + 4) * 1600);
    for (size_t budget : budgets) {
      SORT4 s;
      sort4init(&s, &tc.c, keyLen, budget);
      // Six keys of bytes that test the unsigned order, so that equal keys
      // are frequent and the record number's every byte counts.
      std::vector<std::string> keys(6, std::string(size_t(keyLen), '\0'));
      for (auto& k : keys)
        for (char& c : k) c = "\x00\x01\x7F\x80\xFF"[rng() % 5];
      std::vector<std::pair<std::string, uint32_t>> want;
      for (uint32_t i = 1; i <= 3000; i++) {
        const std::string& k = keys[rng() % keys.size()];
        uint32_t rec = rng() % 2 ? i : 0x01000000u + (rng() % 4000);
        want.emplace_back(k, rec);
        ASSERT_EQ(sort4put(&s, k.data(), rec), 0);
      }
      auto entry = [](const std::pair<std::string, uint32_t>& e) {
        uint8_t r[4];
        cdx::putBE32(r, e.second);
        return e.first + std::string(reinterpret_cast<char*>(r), 4);
      };
      std::stable_sort(want.begin(), want.end(), [&](const auto& a, const auto& b) { return entry(a) < entry(b); });
      ASSERT_EQ(sort4getInit(&s), 0);
      std::vector<std::pair<std::string, uint32_t>> got;
      const char* key;
      uint32_t rec;
      while (sort4get(&s, &key, &rec) == 0) got.emplace_back(std::string(key, size_t(keyLen)), rec);
      EXPECT_EQ(got, want) << "key length " << keyLen << ", budget " << budget;
      EXPECT_EQ(s.runs.size(), budget < 1u << 20 ? 2u : 0u);
      sort4free(&s);
    }
  }
}

// Keys put in order come back as they went in; one key out of place at
// the end still gets sorted.
TEST(Sort4, KeysInOrderAndOneOutOfPlace) {
  TestContext tc;
  for (bool lastOutOfPlace : {false, true}) {
    SORT4 s;
    sort4init(&s, &tc.c, 4, 1 << 20);
    for (uint32_t i = 1; i <= 500; i++) {
      char k[8];
      snprintf(k, sizeof k, "%04u", lastOutOfPlace && i == 500 ? 7 : i * 2);
      ASSERT_EQ(sort4put(&s, k, i), 0);
    }
    ASSERT_EQ(sort4getInit(&s), 0);
    std::vector<std::string> got;
    const char* key;
    uint32_t rec;
    while (sort4get(&s, &key, &rec) == 0) got.emplace_back(key, 4);
    ASSERT_EQ(got.size(), 500u);
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end())) << lastOutOfPlace;
    EXPECT_EQ(got[3], lastOutOfPlace ? "0007" : "0008");
    sort4free(&s);
  }
}

}  // namespace
