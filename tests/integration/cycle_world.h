// A world for the processing-cycle tests against real parts: a maintenance
// database made by tarnwick-sim, a fresh gateway database inside it, the
// settings pointing at the Dovecot and aiosmtpd of scripts/peers.sh, and a
// ProcessingCycle driven directly (the runs orvserv /Run: calls).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/configurations.h"
#include "common/diagnostics.h"
#include "common/gui_session.h"
#include "common/string_mapper.h"
#include "cycle/processing_cycle.h"
#include "db/accounts_manager.h"
#include "db/gateway_database.h"
#include "db/logs_manager.h"
#include "db/maintenance_database.h"
#include "mail_peers.h"

namespace cycletest {

namespace fs = std::filesystem;

inline std::string binary(const std::string& name) { return std::string(ORV_BINARY_DIR) + "/bin/" + name; }

// Runs a program; its stdout, and the exit status in *status.
inline std::string runProgram(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

// The messages aiosmtpd received, oldest first, read once each.
class Spool {
 public:
  Spool() : dir_(peerEnv("ORV_SMTP_SPOOL")) { (void)fresh(); }
  std::vector<std::string> fresh() {
    std::vector<std::string> names;
    if (dir_.empty()) return {};
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().extension() == ".eml" && !seen_.count(e.path().filename())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    std::vector<std::string> out;
    for (const auto& n : names) {
      seen_.insert(n);
      std::ifstream in(dir_ + "/" + n, std::ios::binary);
      out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return out;
  }
  // The envelope file of the last message read.
  std::string envelopeOf(size_t fromEnd = 0) const {
    if (seen_.size() <= fromEnd) return "";
    auto it = seen_.rbegin();
    std::advance(it, fromEnd);
    std::string name = fs::path(*it).stem().string() + ".env";
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string dir_;
  std::set<std::string> seen_;
};

// The Date and Message-ID lines replaced by fixed ones, after checking
// their shape.
inline std::string withFixedStamps(const std::string& mail) {
  static const std::regex date("\r\nDate: [A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2} [+-]\\d{4}\r\n");
  static const std::regex id("\r\nMessage-ID: <\\d+\\.\\d+\\.\\d+@[A-Za-z0-9.-]+>\r\n");
  std::string out = std::regex_replace(mail, date, "\r\nDate: D\r\n", std::regex_constants::format_first_only);
  return std::regex_replace(out, id, "\r\nMessage-ID: M\r\n", std::regex_constants::format_first_only);
}

class World {
 public:
  explicit World(long everybodyFlags = 3) {
    char templ[] = "/tmp/orvcycle.XXXXXX";
    root_ = mkdtemp(templ);
    tarnwick_ = root_ + "/tarnwick";
    int status = 0;
    std::string out = runProgram(binary("tarnwick-sim") + " create " + tarnwick_, &status);
    EXPECT_EQ(status, 0) << out;
    std::string messages = std::string(ORV_TEST_DATA) + "/../../messages/msg0000.txt";
    EXPECT_EQ(stringMapper().loadMessages(messages), 0);
    diagnostics().clear();
    diagnostics().openDiagnosticFile(stringT(), false);

    std::string gw = tarnwick_ + "/@Orvane";
    EXPECT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(gw), &guiSession()));
    maintenance_ = std::make_unique<MaintenanceDatabase>(stringT(tarnwick_), &guiSession());
    EXPECT_TRUE(maintenance_->Validate(true));
    gateway_ = std::make_unique<GatewayDatabase>(stringT(gw), &guiSession());
    EXPECT_TRUE(gateway_->Validate(true));
    EXPECT_TRUE(gateway_->createTables());
    reload();
    {
      AccountsManager accounts(*gateway_, *maintenance_);
      FieldMap everybody = accounts.GetEverybody();
      everybody.setNumber(kAccountFlags, everybodyFlags);
      EXPECT_EQ(accounts.SaveEverybody(everybody), 0);
    }

    settings_.set(kPop3Server, peerEnv("ORV_POP3_HOST"));
    settings_.set(kPop3Port, peerEnv("ORV_POP3_PORT"));
    settings_.set(kPop3Account, peerEnv("ORV_POP3_USER"));
    settings_.set(kPop3Password, scramble(peerEnv("ORV_POP3_PASSWORD")));
    settings_.set(kSmtpServer, peerEnv("ORV_SMTP_HOST"));
    settings_.set(kSmtpPort, peerEnv("ORV_SMTP_PORT"));
    settings_.set(kTitle, "Tarnwick @Orvane");
    settings_.set(kSubjectPrefix, "@Or:");
    settings_.set(kFirstLine, "Current status of your Tarnwick @Orvane");
    settings_.set(kReturnAddress, "gateway@tarnwick-demo.example");
    cycle_ = std::make_unique<ProcessingCycle>(*gateway_, *maintenance_, settings_);
    if (!peerEnv("ORV_MAILDIR").empty()) maildir_.empty();
  }
  ~World() {
    cycle_.reset();
    gateway_.reset();
    maintenance_.reset();
    stringMapper().clear();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Rebuilds the process-wide key lists and caches from this database.
  void reload() {
    LogsManager logs(*gateway_);
    EXPECT_EQ(logs.Load(), 0);
    AccountsManager accounts(*gateway_, *maintenance_);
    EXPECT_EQ(accounts.Load(), 0);
  }

  ProcessingCycle& cycle() { return *cycle_; }
  ConfigurationsManager& settings() { return settings_; }
  TestMaildir& maildir() { return maildir_; }
  Spool& spool() { return spool_; }
  GatewayDatabase& gateway() { return *gateway_; }
  MaintenanceDatabase& maintenance() { return *maintenance_; }
  const std::string& tarnwick() const { return tarnwick_; }
  const std::string& root() const { return root_; }

  // tarnwick-sim MOVE ARGS on this database; its output.
  std::string sim(const std::string& args) {
    int status = 0;
    std::string out = runProgram(binary("tarnwick-sim") + " " + args, &status);
    EXPECT_EQ(status, 0) << args << ": " << out;
    return out;
  }

  // Rows of a status, as the logs manager has them.
  std::vector<LogRecord> rows(int status) {
    LogsManager logs(*gateway_);
    std::vector<LogRecord> out;
    for (long key : logs.KeysInStatus(status))
      if (auto r = logs.GetRecord(key)) out.push_back(*r);
    return out;
  }

  std::vector<std::string> diagnosticTexts() const {
    std::vector<std::string> out;
    for (const auto& d : diagnostics().snapshot()) out.push_back(d.description.str());
    return out;
  }

  // orvdb check over every table of both databases: "" when all pass.
  std::string checkTables() {
    std::string failures;
    for (const std::string& dir : {tarnwick_, tarnwick_ + "/@Orvane"})
      for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".dbf" || e.path().filename() == "Versions.dbf") continue;
        int status = 0;
        std::string out = runProgram(binary("orvdb") + " check " + e.path().string(), &status);
        if (status != 0) failures += e.path().filename().string() + ": " + out + "\n";
      }
    return failures;
  }

 private:
  std::string root_;
  std::string tarnwick_;
  std::unique_ptr<MaintenanceDatabase> maintenance_;
  std::unique_ptr<GatewayDatabase> gateway_;
  ConfigurationsManager settings_;
  std::unique_ptr<ProcessingCycle> cycle_;
  TestMaildir maildir_;
  Spool spool_;
};

inline std::string message(const std::string& headers, const std::string& body) {
  return headers + "\r\n" + body;
}

}  // namespace cycletest
