// The upgrade script of the gateway database and its table conversions.
//
//   | # | kind             | version / message          | conversion                         |
//   |---|------------------|----------------------------|------------------------------------|
//   | 0 | database version | 0.0.504.0                  |                                    |
//   | 1 | step             | "*Creating Versions table" | create Versions.dbf                |
//   | 2 | step             | "*Updating Accounts"       | the old accounts table             |
//   | 3 | step             | "*Updating Logs"           | logs layout 1 to layout 2          |
//   | 4 | program version  | 1.1.504.0                  | row 2 of Versions.dbf              |
//   | 5 | database version | 1.1.504.0                  |                                    |
//   | 6 | step             | "*Updating Accounts"       | accounts anew, Everybody flags     |
//   |   |                  |                            | moved into record 1                |
//   | 7 | step             | "*Updating Logs"           | logs layout 2 to layout 3          |
//   | 8 | program version  | 1.2.504.0                  | row 2 of Versions.dbf              |
//   | 9 | database version | 1.2.504.0                  |                                    |
//
// Kinds: 0 database version, 2 program version (also the Versions.dbf row
// it writes), 6 step. Versions are written only at the version entries, so
// a run that stops repeats the block of steps after the last version
// written; every conversion is therefore safe to run again:
//
//   * A table is converted through a complete copy of it: CopyTable writes
//     "<t>copy.dbf" (and .fpt), which is renamed to "<t>temp" only when
//     whole (memo file first). While "<t>temp.dbf" exists it, not the
//     table, is the source: the table may be half rebuilt.
//   * The copy is dropped only after every record reached the new table;
//     a failed or cancelled copy fails the step and keeps it.
//   * A table already in the target layout is left alone; a table in no
//     known layout fails the run before anything is changed.
#pragma once

#include "common/version.h"

class GatewayDatabase;

enum UpgradeKind { kUpgradeDatabaseVersion = 0, kUpgradeProgramVersion = 2, kUpgradeStep = 6 };

struct UpgradeEntry {
  int kind;
  Version version;
  const char* message;  // steps only
  bool (*convert)(GatewayDatabase& db);
};

inline constexpr int kUpgradeEntries = 10;
const UpgradeEntry& upgradeEntry(int n);

// The conversions (upgrade_conversions.cpp).
bool upgradeCreateVersions(GatewayDatabase& db);
bool upgradeOldAccounts(GatewayDatabase& db);
bool upgradeLogs1To2(GatewayDatabase& db);
bool upgradeAccountsAnew(GatewayDatabase& db);
bool upgradeLogs2To3(GatewayDatabase& db);
// Checks before any change that every table is in a layout the script
// knows (or has a complete copy from an earlier run); reports "*Incorrect
// Fields" with the path of the first that is not.
bool upgradeTablesKnown(GatewayDatabase& db);
