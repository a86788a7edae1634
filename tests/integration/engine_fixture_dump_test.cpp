// orvdb dump of every fixture table (written by another FoxPro-compatible
// program) must equal its expected dump byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  std::array<char, 65536> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  pclose(p);
  return out;
}

}  // namespace

TEST(EngineFixtures, DumpMatchesEveryExpectedDump) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(ORV_TEST_DATA) / "fixtures";
  const std::string orvdb = std::string(ORV_BINARY_DIR) + "/bin/orvdb";
  int tables = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root / "tables")) {
    if (entry.path().extension() != ".dbf") continue;
    fs::path rel = fs::relative(entry.path(), root / "tables");
    fs::path expected = root / "expected" / rel;
    expected.replace_extension(".dump");
    std::string want;
    if (fs::exists(expected)) {
      want = run("cat '" + expected.string() + "'");
    } else {
      fs::path gz = expected.string() + ".gz";
      ASSERT_TRUE(fs::exists(gz)) << gz;
      want = run("gzip -dc '" + gz.string() + "'");
    }
    std::string got = run("'" + orvdb + "' dump '" + entry.path().string() + "'");
    EXPECT_TRUE(got == want) << rel << ": " << got.size() << " bytes, expected " << want.size();
    ++tables;
  }
  EXPECT_EQ(tables, 20);
}
