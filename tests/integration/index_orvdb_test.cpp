// orvdb's index commands on the fixture tables (written by another
// FoxPro-compatible program): check passes on every table, dump --tag equals
// the other program's tag dumps byte for byte, seeks print the expected
// results, and changes made with append/set/delete/recall keep check clean.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = fs::path(ORV_TEST_DATA) / "fixtures";

std::string orvdb() { return std::string(ORV_BINARY_DIR) + "/bin/orvdb"; }

// Output and exit status of a command.
std::pair<std::string, int> run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return {out, -1};
  std::array<char, 65536> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int status = pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::vector<fs::path> indexedTables(const fs::path& dir) {
  std::vector<fs::path> tables;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.path().extension() == ".cdx") tables.push_back(fs::path(e.path()).replace_extension(".dbf"));
  return tables;
}

TEST(IndexOrvdb, CheckPassesOnEveryFixture) {
  auto tables = indexedTables(kRoot / "tables");
  EXPECT_EQ(tables.size(), 15u);
  for (const auto& t : tables) {
    auto [out, status] = run(orvdb() + " check " + quote(t.string()));
    EXPECT_EQ(status, 0) << t << "\n" << out;
  }
}

TEST(IndexOrvdb, DumpByTagMatchesTheOtherProgram) {
  int dumps = 0;
  for (const auto& e : fs::recursive_directory_iterator(kRoot / "expected")) {
    std::string name = e.path().filename().string();
    size_t dot = name.find('.');
    if (e.path().extension() != ".dump" || dot == name.rfind('.')) continue;
    std::string table = name.substr(0, dot);
    std::string tag = name.substr(dot + 1, name.rfind('.') - dot - 1);
    fs::path rel = fs::relative(e.path().parent_path(), kRoot / "expected") / (table + ".dbf");
    std::ifstream in(e.path(), std::ios::binary);
    std::string want((std::istreambuf_iterator<char>(in)), {});
    auto [got, status] = run(orvdb() + " dump --tag " + tag + " " + quote((kRoot / "tables" / rel).string()));
    EXPECT_EQ(status, 0) << rel << " " << tag;
    EXPECT_TRUE(got == want) << rel << " " << tag;
    dumps++;
  }
  EXPECT_GT(dumps, 40);
}

TEST(IndexOrvdb, SeeksPrintCodeAndRecord) {
  std::ifstream in(kRoot / "expected" / "tarnwick" / "contacts.seeks");
  std::string line;
  int n = 0;
  while (std::getline(in, line) && n < 40) {
    std::vector<std::string> f;
    std::istringstream parts(line);
    for (std::string p; std::getline(parts, p, '\t');) f.push_back(p);
    ASSERT_EQ(f.size(), 4u);
    auto [out, status] = run(orvdb() + " seek " + quote((kRoot / "tables/tarnwick/contacts.dbf").string()) +
                             " " + f[0] + " " + quote(f[1]));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, f[2] + " " + f[3] + "\n") << line;
    n++;
  }
  EXPECT_GT(n, 0);
}

TEST(IndexOrvdb, ChangesThroughTheToolKeepTheIndexConsistent) {
  char tmpl[] = "/tmp/orv-orvdb-index-XXXXXX";
  fs::path dir = mkdtemp(tmpl);
  fs::copy(kRoot / "tables" / "gateway", dir, fs::copy_options::recursive);
  for (const auto& e : fs::directory_iterator(dir))
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  std::string logs = quote((dir / "logs.dbf").string());
  auto [recno, status] = run(orvdb() + " append " + logs + " KEY=999 STATUS=1 CDATE=20240102 HISTORY='a memo'");
  ASSERT_EQ(status, 0);
  EXPECT_EQ(run(orvdb() + " set " + logs + " 5 STATUS=4 WOSCHEDULE=tomorrow").second, 0);
  EXPECT_EQ(run(orvdb() + " delete " + logs + " 6").second, 0);
  EXPECT_EQ(run(orvdb() + " recall " + logs + " 6").second, 0);
  EXPECT_EQ(run(orvdb() + " delete " + logs + " 7").second, 0);
  auto [check, cs] = run(orvdb() + " check " + logs);
  EXPECT_EQ(cs, 0) << check;
  EXPECT_EQ(run(orvdb() + " seek " + logs + " KEY 999").first, "0 " + recno);
  EXPECT_EQ(run(orvdb() + " reindex " + logs).second, 0);
  EXPECT_EQ(run(orvdb() + " check " + logs).second, 0);
  // A damaged index is reported, with exit status 1.
  {
    std::fstream f(dir / "logs.cdx", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(14);
    f.put(char(0x10));
  }
  auto [bad, bs] = run(orvdb() + " check " + logs + " 2>&1");
  EXPECT_EQ(bs, 1) << bad;
  fs::remove_all(dir);
}

}  // namespace
