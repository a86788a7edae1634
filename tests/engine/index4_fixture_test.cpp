// Index files written by another FoxPro-compatible program: tag orders,
// seeks and the consistency check, before and after our own changes.
//
// expected/X.orders(.gz) holds, per tag, the record numbers of the other
// program's tag dumps (expected/X.TAG.dump in the shared fixtures) in order.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "data4_test_util.h"
#include "engine/i4check.h"
#include "engine/index4.h"

namespace {

const std::string kFixtures = std::string(ORV_TEST_DATA) + "/fixtures";

const char* const kIndexed[] = {
    "types",           "types_inc",         "gateway/accounts", "gateway/logs",
    "gateway_v1/accounts", "gateway_v1/logs", "gateway_v2/accounts", "gateway_v2/logs",
    "tarnwick/access", "tarnwick/contacts", "tarnwick/priority", "tarnwick/units",
    "tarnwick/worders", "tarnwick/workcat", "tarnwick/wrequest",
};

std::string readText(const std::string& path) {
  if (std::filesystem::exists(path)) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string gz = path + ".gz";
  std::string out;
  FILE* p = popen(("gzip -dc '" + gz + "'").c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::map<std::string, std::vector<int>> expectedOrders(const std::string& base) {
  std::map<std::string, std::vector<int>> orders;
  std::istringstream in(readText(kFixtures + "/expected/" + base + ".orders"));
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(':');
    std::istringstream nums(line.substr(colon + 1));
    auto& v = orders[line.substr(0, colon)];
    int r;
    while (nums >> r) v.push_back(r);
  }
  return orders;
}

std::vector<int> walk(DATA4* d, TAG4* t) {
  std::vector<int> recs;
  d4tagSelect(d, t);
  for (int rc = d4top(d); rc == 0; rc = d4skip(d, 1)) recs.push_back(d4recNo(d));
  return recs;
}

class FixtureTables : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureTables, TagOrdersMatchTheOtherProgram) {
  TestContext tc;
  DATA4* d = d4open(&tc.c, kFixtures + "/tables/" + GetParam() + ".dbf");
  ASSERT_NE(d, nullptr) << error4code(&tc.c);
  auto orders = expectedOrders(GetParam());
  ASSERT_FALSE(orders.empty());
  for (auto& [tag, recs] : orders) {
    TAG4* t = d4tag(d, tag.c_str());
    ASSERT_NE(t, nullptr) << tag;
    EXPECT_EQ(walk(d, t), recs) << tag;
    // Backwards from the bottom gives the reverse order.
    std::vector<int> back;
    for (int rc = d4bottom(d); rc == 0; rc = d4skip(d, -1)) back.push_back(d4recNo(d));
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, recs) << tag;
  }
  (void)d4close(d);
}

TEST_P(FixtureTables, SeeksLandWhereExpected) {
  std::string seeks = readText(kFixtures + "/expected/" + GetParam() + ".seeks");
  if (seeks.empty()) GTEST_SKIP();
  TestContext tc;
  DATA4* d = d4open(&tc.c, kFixtures + "/tables/" + GetParam() + ".dbf");
  ASSERT_NE(d, nullptr);
  std::istringstream in(seeks);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream parts(line);
    for (std::string p; std::getline(parts, p, '\t');) f.push_back(p);
    ASSERT_EQ(f.size(), 4u) << line;
    d4tagSelect(d, d4tag(d, f[0].c_str()));
    int rc = d4seekText(d, f[1].c_str());
    EXPECT_EQ(std::to_string(rc) + " " + std::to_string(d4recNo(d)), f[2] + " " + f[3]) << line;
    n++;
  }
  EXPECT_GT(n, 0);
  (void)d4close(d);
}

TEST_P(FixtureTables, CheckPassesBeforeAndAfterOurChanges) {
  ScratchDir dir;
  std::filesystem::copy(kFixtures + "/tables", dir.path(), std::filesystem::copy_options::recursive);
  for (auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
    std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  TestContext tc;
  DATA4* d = d4open(&tc.c, dir.file(std::string(GetParam()) + ".dbf"));
  ASSERT_NE(d, nullptr);
  std::string problems;
  auto report = [&](const std::string& s) { problems += s + "\n"; };
  ASSERT_EQ(i4check(d, report), 0) << problems;
  // Appends, updates and deletes through the engine.
  srand(7);
  int32_t count = d4recCount(d);
  for (int i = 0; i < 120; i++) {
    int32_t r = 1 + rand() % count;
    if (i % 3 == 0) {
      ASSERT_EQ(d4appendStart(d, 0), 0);
    } else {
      ASSERT_EQ(d4go(d, r), 0);
    }
    for (int f = 1; f <= d4numFields(d); f++) {
      FIELD4* fld = d4fieldJ(d, f);
      if (rand() % 2) continue;
      switch (f4type(fld)) {
        case 'N': (void)f4assignLong(fld, rand() % 50); break;
        case 'C': (void)f4assign(fld, rand() % 2 ? "changed" : "Other"); break;
        case 'L': (void)f4assign(fld, rand() % 2 ? "T" : "F"); break;
        default: break;
      }
    }
    if (i % 7 == 1) (void)d4delete(d);
    int rc = i % 3 == 0 ? d4append(d) : d4write(d, -1);
    EXPECT_TRUE(rc == 0 || rc == r4unique) << rc;
  }
  problems.clear();
  EXPECT_EQ(i4check(d, report), 0) << problems;
  (void)d4close(d);
  // And again after a reindex.
  tc.c.accessMode = OPEN4DENY_RW;
  d = d4open(&tc.c, dir.file(std::string(GetParam()) + ".dbf"));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4reindex(d), 0);
  EXPECT_EQ(i4check(d, report), 0) << problems;
  (void)d4close(d);
}

INSTANTIATE_TEST_SUITE_P(All, FixtureTables, ::testing::ValuesIn(kIndexed),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (c == '/') c = '_';
                           return n;
                         });

TEST(FixtureSchemas, EveryTagExpressionGivesTheStoredKey) {
  // i4check recomputes each key from its record; a table that opens and
  // checks clean proves the expression compiles to the stored length and
  // evaluates to the stored bytes.
  TestContext tc;
  for (const char* base : kIndexed) {
    DATA4* d = d4open(&tc.c, kFixtures + "/tables/" + base + ".dbf");
    ASSERT_NE(d, nullptr) << base;
    int tags = 0;
    for (TAG4* t = d4tagNext(d, nullptr); t; t = d4tagNext(d, t)) tags++;
    EXPECT_GT(tags, 0) << base;
    (void)d4close(d);
  }
}

}  // namespace
