// The upgrade script (upgrade.h) and the operations that run it.
#include "db/upgrade.h"

#include "common/string_mapper.h"
#include "db/gateway_database.h"
#include "table/progress_reporter.h"
#include "table/version_rows.h"

namespace {

constexpr UpgradeEntry kScript[kUpgradeEntries] = {
    {kUpgradeDatabaseVersion, {{0, 0, 504, 0}}, nullptr, nullptr},
    {kUpgradeStep, {}, "*Creating Versions table", upgradeCreateVersions},
    {kUpgradeStep, {}, "*Updating Accounts", upgradeOldAccounts},
    {kUpgradeStep, {}, "*Updating Logs", upgradeLogs1To2},
    {kUpgradeProgramVersion, {{1, 1, 504, 0}}, nullptr, nullptr},
    {kUpgradeDatabaseVersion, {{1, 1, 504, 0}}, nullptr, nullptr},
    {kUpgradeStep, {}, "*Updating Accounts", upgradeAccountsAnew},
    {kUpgradeStep, {}, "*Updating Logs", upgradeLogs2To3},
    {kUpgradeProgramVersion, {{1, 2, 504, 0}}, nullptr, nullptr},
    {kUpgradeDatabaseVersion, {{1, 2, 504, 0}}, nullptr, nullptr},
};

// Progress that goes nowhere and never stops, for a run without reporter.
class NoProgress : public ProgressReporter {
 public:
  void setText(const stringT&) override {}
  bool step(const stringT&) override { return true; }
  void setCount(long) override {}
  bool stepRecord() override { return true; }
  void finish(const stringT&) override {}
};

stringT upgradingFrom(const Version& v) {
  return translate("*Upgrading from Database Version") + " " + v.toString();
}

}  // namespace

const UpgradeEntry& upgradeEntry(int n) { return kScript[n]; }

int GatewayDatabase::FindStart(const Version& v) {
  for (int n = kUpgradeEntries - 1; n >= 0; --n) {
    if (kScript[n].kind != kUpgradeDatabaseVersion || kScript[n].version > v) continue;
    if (kScript[n].version == v) return n;
    break;
  }
  reportError("*Unknown @Orvane database version", v.toString());
  return -1;
}

bool GatewayDatabase::Upgrade(const Version& v) {
  int start = FindStart(v);
  if (start < 0) return false;
  if (progress() != nullptr) return RunScript(start);
  if (!reporter()->Ask(GUISession::No, GUISession::Yes, translate("*@Orvane Database Upgrade"),
                       translate("*OK to upgrade database?")))
    return false;
  TerminalProgress dialog;
  setProgress(&dialog);
  dialog.setText(translate("*@Orvane database upgrade in progress"));
  bool ok = RunScript(start);
  dialog.finish(translate(ok ? "*Database upgrade complete" : "*Database upgrade failed to complete"));
  setProgress(nullptr);
  return ok;
}

bool GatewayDatabase::RunScript(int entry) {
  if (entry < 0 || entry >= kUpgradeEntries || kScript[entry].kind != kUpgradeDatabaseVersion) return false;
  NoProgress none;
  ProgressReporter& p = progress() != nullptr ? *progress() : none;
  // Nobody else may use the tables while they are rebuilt: the script runs
  // with the directory held exclusively, and not at all without that.
  Lock(true);
  if (!exclusive()) return false;
  if (!upgradeTablesKnown(*this)) {
    Lock(false);
    return false;
  }
  p.setText(upgradingFrom(kScript[entry].version));
  bool ok = true;
  for (int n = entry + 1; ok && n < kUpgradeEntries; ++n) {
    const UpgradeEntry& e = kScript[n];
    switch (e.kind) {
      case kUpgradeStep:
        ok = p.step(translate(e.message)) && e.convert(*this);
        break;
      case kUpgradeProgramVersion:
        ok = p.step("Posting new Program version") && WriteVersion(kVersionRowGateway, e.version) == 0;
        break;
      default:
        ok = p.step(translate("*Posting new Database version")) &&
             WriteVersion(kVersionRowDatabase, e.version) == 0;
        if (ok) p.setText(upgradingFrom(e.version));
        break;
    }
  }
  if (ok) {
    p.setText(stringT());
    (void)p.step(stringT());
  }
  Lock(false);
  return ok && sessionLocked();
}
