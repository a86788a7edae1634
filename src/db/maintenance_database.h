// MaintenanceDatabase: the context of the maintenance program's database
// directory, with its version rules and the activity check.
//
// Database version (ReadDatabaseVersion):
//   * system/default.dat present (an older layout): 2.5.100.0, provided
//     that system/default.dbf, when it has a first record, states 2.5.1.0;
//   * else system/default.dbf: its DBVERSION v; up to 2.7.108.0 the version
//     is v with the build (build x 50 + revision) x 2, less one when UPGRSTEP
//     is not 0, and the revision UPGRSTEP; above it, row 0 of Versions.dbf;
//   * else row 0 of Versions.dbf; else "*No Tarnwick Database found".
// A program's row reads as 0.0.0.0 unless the version is kept in
// Versions.dbf (the stated DBVERSION is above 2.7.108.0).
//
// check (CheckMaintenance): Validate, compare with the minimum 2.9.0.0 and
// the program's row; then the activity code (REINDEX of record 1 of
// system/default.dbf) must be 0. Code 3 is an interrupted archive purge,
// which is cleared up here when ArchDels.dbf and archives.dbf show that it
// can be; any other non-zero code fails with "*The Tarnwick Database is
// partway through a Reindex or Archive Purge operation".
#pragma once

#include "common/version.h"
#include "table/database_context.h"

inline constexpr Version kMinimumMaintenanceVersion{{2, 9, 0, 0}};
inline constexpr Version kOldestLayoutVersion{{2, 5, 100, 0}};
inline constexpr Version kOldestLayoutStated{{2, 5, 1, 0}};

// Activity codes (REINDEX).
inline constexpr long kActivityNone = 0;
inline constexpr long kActivityArchive = 3;

class MaintenanceDatabase : public DatabaseContext {
 public:
  // programRow: the Versions.dbf row of the program that uses the database
  // (the gateway's own, 2, unless told otherwise).
  MaintenanceDatabase(const stringT& path, GUISession* reporter, int programRow = 2,
                      bool readOnly = false, CODE4* engine = nullptr);

  int ReadDatabaseVersion(Version* out, bool quiet) override;
  int ReadVersion(int row, Version* out, bool quiet) override;
  bool check(bool quiet) override;
  bool CheckMaintenance(bool quiet) { return check(quiet); }

  // REINDEX of record 1 of system/default.dbf; -1 when it cannot be read.
  long readActivityCode();
  // Clears up after an interrupted archive purge when the traces allow it
  // (see maintenance_database.cpp); the activity code afterwards.
  long clearInterruptedArchive();

 private:
  // fromVersions: the version is row 0 of Versions.dbf (not a stated one).
  int readDatabaseVersion(Version* out, bool quiet, bool* fromVersions);

  int programRow_;
};
