// Index files whose leaves point at each other (tests/data/hostile, found
// by fuzzing): orvdb and orvserv must end, report the index as bad and
// name it, instead of walking the cycle for ever.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kHostile = fs::path(ORV_TEST_DATA) / "hostile";

std::string bin() {
  const char* env = std::getenv("ORV_BIN");
  return env ? env : std::string(ORV_BINARY_DIR) + "/bin";
}

struct Outcome {
  int status = -1;  // exit status; 124 or 137 when the time limit ended it
  std::string output;
};

// Runs command in dir under a time limit, stdout and stderr together.
Outcome run(const std::string& dir, const std::string& command, int seconds) {
  Outcome o;
  std::string full = "cd '" + dir + "' && timeout -s KILL " + std::to_string(seconds) + " " + command +
                     " </dev/null 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (!p) return o;
  std::array<char, 65536> buf;
  size_t n;
  // Keep the first megabyte: an endless dump must not fill the memory.
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
    if (o.output.size() < (1u << 20)) o.output.append(buf.data(), n);
  int st = pclose(p);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return o;
}

class HostileIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "orvhostile.XXXXXX").string();
    scratch = mkdtemp(templ.data());
  }
  void TearDown() override { fs::remove_all(scratch); }
  // Copies from (the kept files are read-only) to to, writable.
  static void copyWritable(const fs::path& from, const std::string& to) {
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
    if (fs::is_directory(to))
      for (const auto& e : fs::recursive_directory_iterator(to))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  }
  std::string copy(const std::string& name) {
    copyWritable(kHostile / name, scratch + "/" + name);
    return scratch + "/" + name;
  }
  std::string scratch;
};

TEST_F(HostileIndex, OrvdbDumpByTagEndsOnASiblingCycle) {
  struct Case {
    const char* dir;
    const char* table;
    const char* tag;
    const char* index;
  } cases[] = {{"orvdb-units-units.cdx-fb97b2dd114e", "units.dbf", "CODE", "units.cdx"},
               {"orvdb-logs_v1-logs.cdx-fe47f958934b", "logs.dbf", "KEY", "logs.cdx"}};
  for (const Case& c : cases) {
    std::string dir = copy(c.dir);
    Outcome o = run(dir, "'" + bin() + "/orvdb' dump --tag " + c.tag + " " + c.table, 30);
    EXPECT_EQ(o.status, 1) << c.dir << "\n" << o.output.substr(0, 2000);
    EXPECT_NE(o.output.find("-310"), std::string::npos) << c.dir;
    EXPECT_NE(o.output.find(c.index), std::string::npos) << c.dir;
    Outcome check = run(dir, "'" + bin() + "/orvdb' check " + c.table, 30);
    EXPECT_EQ(check.status, 1) << c.dir << "\n" << check.output;
  }
}

TEST_F(HostileIndex, OrvdbSeeksEndOnASiblingCycle) {
  std::string dir = copy("orvdb-units-units.cdx-fb97b2dd114e");
  for (const char* probe : {"AHU", "ZZZ", "", "CH"}) {
    Outcome o = run(dir, "'" + bin() + "/orvdb' seek units.dbf CODE '" + probe + "'", 30);
    EXPECT_TRUE(o.status == 0 || o.status == 1) << probe << ": " << o.status << "\n" << o.output;
  }
}

TEST_F(HostileIndex, OrvservUpdateRunEndsAndNamesTheIndex) {
  int cases = 0;
  for (const auto& e : fs::directory_iterator(kHostile)) {
    std::string name = e.path().filename().string();
    if (name.rfind("cdx-sibling-cycle-gw-logs-", 0) != 0) continue;
    cases++;
    std::string db = scratch + "/" + name;
    copyWritable(kHostile / "seed-db", db);
    copyWritable(e.path() / "logs.cdx", db + "/@Orvane/logs.cdx");
    Outcome o = run(scratch, "'" + bin() + "/orvserv' '/TarnwickDatabase:" + db + "' /Listen:off /Run:update", 60);
    EXPECT_NE(o.status, 137) << name << ": killed at the time limit";
    EXPECT_NE(o.status, -1) << name;
    // The logs cannot be loaded: start-up ends with its status for that,
    // naming the index.
    EXPECT_EQ(o.status, 8) << name << "\n" << o.output.substr(0, 4000);
    EXPECT_NE(o.output.find("Not a Correct Index File"), std::string::npos) << name << "\n" << o.output;
    EXPECT_NE(o.output.find("/@Orvane/logs.cdx"), std::string::npos) << name << "\n" << o.output;
  }
  EXPECT_EQ(cases, 5);
}

}  // namespace
