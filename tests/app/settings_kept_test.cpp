// A start-up that stops after the gateway database object exists must not
// write the settings it never read: orvserv.cfg keeps every byte.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/version.h"
#include "db/gateway_database.h"
#include "table/version_rows.h"

namespace fs = std::filesystem;

namespace {

std::string bin() {
  const char* env = std::getenv("ORV_BIN");
  return env ? env : std::string(ORV_BINARY_DIR) + "/bin";
}

struct Outcome {
  int status = -1;
  std::string output;
};

Outcome run(const std::string& command) {
  Outcome o;
  FILE* p = popen((command + " </dev/null 2>&1").c_str(), "r");
  if (!p) return o;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) o.output.append(buf.data(), n);
  int st = pclose(p);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return o;
}

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SettingsKept : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "orvcfg.XXXXXX").string();
    dir_ = mkdtemp(templ.data());
    db_ = dir_ + "/db";
    gateway_ = db_ + "/@Orvane";
    ASSERT_EQ(run("'" + bin() + "/tarnwick-sim' create '" + db_ + "'").status, 0);
    ASSERT_EQ(orvserv().status, 0);  // makes the gateway database
    std::ofstream(gateway_ + "/orvserv.cfg", std::ios::binary) << kSettings;
  }
  void TearDown() override { fs::remove_all(dir_); }
  Outcome orvserv() { return run("'" + bin() + "/orvserv' '/TarnwickDatabase:" + db_ + "' /Listen:off /Run:update"); }
  // Puts a file that is no table in place of name (kept aside as name.keep).
  void spoil(const std::string& name) {
    fs::rename(gateway_ + "/" + name, gateway_ + "/" + name + ".keep");
    std::ofstream(gateway_ + "/" + name) << "not a table";
  }
  void restore(const std::string& name) {
    fs::remove(gateway_ + "/" + name);
    fs::rename(gateway_ + "/" + name + ".keep", gateway_ + "/" + name);
  }
  void expectStoppedWithSettingsKept(int status, const char* step) {
    Outcome o = orvserv();
    EXPECT_EQ(o.status, status) << step << "\n" << o.output;
    EXPECT_EQ(bytesOf(gateway_ + "/orvserv.cfg"), kSettings) << step;
  }

  static constexpr const char* kSettings =
      "[101] pop.example.org\r\n[103] mailbox\r\n[104] yLq+5butq7qtvA==\r\n[152] Works office\r\n"
      "[155] works@example.org\r\n[204] 3.0.0.0\r\n";
  std::string dir_, db_, gateway_;
};

TEST_F(SettingsKept, LogsTableUnopenable) {
  spoil("logs.dbf");
  expectStoppedWithSettingsKept(7, "logs.dbf");
  restore("logs.dbf");
  // A start that gets through reads them and writes them back.
  ASSERT_EQ(orvserv().status, 0);
  EXPECT_NE(bytesOf(gateway_ + "/orvserv.cfg").find("[152] Works office"), std::string::npos);
}

TEST_F(SettingsKept, AccountsTableUnopenable) {
  spoil("accounts.dbf");
  expectStoppedWithSettingsKept(6, "accounts.dbf");
}

TEST_F(SettingsKept, GatewayDatabaseOfALaterProgram) {
  {
    GatewayDatabase db(stringT(gateway_), nullptr);
    ASSERT_EQ(db.WriteVersion(kVersionRowGateway, Version{{99, 0, 0, 0}}), 0);
  }
  expectStoppedWithSettingsKept(5, "later version");
}

TEST_F(SettingsKept, UpgradeDeclined) {
  // The first layout of the gateway database: the upgrade is asked about,
  // and with no answer (stdin at its end) not made.
  for (const auto& e : fs::directory_iterator(gateway_))
    if (e.path().filename() != "orvserv.cfg") fs::remove(e.path());
  for (const auto& e : fs::directory_iterator(fs::path(ORV_TEST_DATA) / "fixtures/tables/gateway_v1"))
    fs::copy_file(e.path(), gateway_ + "/" + e.path().filename().string());
  expectStoppedWithSettingsKept(5, "upgrade declined");
  EXPECT_FALSE(fs::exists(gateway_ + "/Versions.dbf")) << "nothing was upgraded";
}

}  // namespace
