// GatewayDatabase: the context of the gateway's own database directory
// (accounts.dbf, logs.dbf, Versions.dbf), with its version check and the
// upgrade of older layouts (upgrade.cpp).
//
// Database version: row 0 of Versions.dbf, or 0.0.504.0 when the table does
// not exist (the first layout had none). A Versions.dbf without a row 0, or
// with a blank one, is one an interrupted upgrade was creating, and counts
// as 0.0.504.0 too. The minimum is 1.2.0.0; the gateway's row is 2.
//
// check (CheckGateway):
//   1. Validate; 2. compare: undetermined "*@Orvane Database version cannot
//   be determined", later "*@Orvane Database is for a later version of
//   @Orvane"; 3. too old: Upgrade when the context may upgrade, else "*The
//   @Orvane Database must be upgraded using the @Orvane Installer"; 4. fine.
#pragma once

#include "common/version.h"
#include "table/database_context.h"

inline constexpr Version kFirstGatewayVersion{{0, 0, 504, 0}};
inline constexpr Version kMinimumGatewayVersion{{1, 2, 0, 0}};
inline constexpr Version kCurrentGatewayVersion{{1, 2, 504, 0}};

class GatewayDatabase : public DatabaseContext {
 public:
  GatewayDatabase(const stringT& path, GUISession* reporter, bool canUpgrade = true,
                  CODE4* engine = nullptr);

  int ReadDatabaseVersion(Version* out, bool quiet) override;
  bool check(bool quiet) override;
  bool writesItsTables() const override { return true; }
  bool CheckGateway() { return check(false); }
  // Makes a new gateway database's directory and lock files, so that the
  // programs above need not reach the table layer; false after reporting.
  static bool createDirectory(const stringT& path, GUISession* reporter) {
    return CreateDatabaseDirectory(path, reporter);
  }

  // The upgrade script (upgrade.cpp).
  // The entry the upgrade starts from: the last database-version entry not
  // above v, which must equal v; -1 after "*Unknown @Orvane database version".
  int FindStart(const Version& v);
  // Asks the user, then runs the script from v. True when now current.
  bool Upgrade(const Version& v);
  // Runs every entry after the database-version entry `entry`.
  bool RunScript(int entry);

  // Makes a new gateway database in an existing database directory:
  // Versions.dbf with the current rows, accounts.dbf and logs.dbf primed.
  bool createTables();

 private:
  bool canUpgrade_;
};
