#include "db/maintenance_database.h"

#include "db/maintenance_layouts.h"
#include "engine/error4.h"
#include "platform/file.h"
#include "table/db_table.h"
#include "table/version_rows.h"

namespace {
constexpr const char* kDefaultDat = "system/default.dat";
constexpr const char* kDefaultDbf = "system/default.dbf";

std::optional<Version> statedVersion(DBTable& t) {
  DBField* f = t.fieldByName("DBVERSION");
  return f != nullptr ? Version::parse(f->text().view()) : std::nullopt;
}
}  // namespace

MaintenanceDatabase::MaintenanceDatabase(const stringT& path, GUISession* reporter, int programRow,
                                         bool readOnly, CODE4* engine)
    : DatabaseContext(path, reporter, readOnly, engine), programRow_(programRow) {}

int MaintenanceDatabase::ReadDatabaseVersion(Version* out, bool quiet) {
  bool fromVersions;
  return readDatabaseVersion(out, quiet, &fromVersions);
}

int MaintenanceDatabase::readDatabaseVersion(Version* out, bool quiet, bool* fromVersions) {
  *out = Version{};
  *fromVersions = false;
  auto unreadable = [&] {
    if (!quiet) reportError("*Unable to read Tarnwick database version information");
    return e4version;
  };
  const int options = kOpenReadOnly | kOpenQuiet | kOpenNoIndex;
  DBTable dat(*this, kDefaultDat, options);
  DBTable settings(*this, kDefaultDbf, options);
  if (dat.isOpen()) {
    if (settings.isOpen() && settings.recordCount() > 0) {
      if (settings.go(1) != 0 || statedVersion(settings) != kOldestLayoutStated) return unreadable();
    }
    *out = kOldestLayoutVersion;
    return 0;
  }
  if (settings.isOpen()) {
    if (settings.recordCount() < 1 || settings.go(1) != 0) return unreadable();
    std::optional<Version> v = statedVersion(settings);
    if (!v) return unreadable();
    if (*v > kLastStepVersion) {
      *fromVersions = true;
      return DatabaseContext::ReadVersion(kVersionRowDatabase, out, quiet);
    }
    DBField* step = settings.fieldByName("UPGRSTEP");
    std::optional<Version> stepped = maintenanceStepVersion(*v, step != nullptr ? step->asLong() : 0);
    if (!stepped) return unreadable();
    *out = *stepped;
    return 0;
  }
  if (openVersions()) {
    *fromVersions = true;
    return DatabaseContext::ReadVersion(kVersionRowDatabase, out, quiet);
  }
  if (!quiet) reportError("*No Tarnwick Database found", stringT(directory()));
  return e4version;
}

int MaintenanceDatabase::ReadVersion(int row, Version* out, bool quiet) {
  if (row == kVersionRowDatabase) return ReadDatabaseVersion(out, quiet);
  // Programs' rows exist only in a database whose version is kept in
  // Versions.dbf (one that states a version above 2.7.108.0).
  Version database;
  bool fromVersions;
  int rc = readDatabaseVersion(&database, true, &fromVersions);
  if (rc != 0) return rc;
  if (!fromVersions) {
    *out = Version{};
    return 0;
  }
  return DatabaseContext::ReadVersion(row, out, quiet);
}

bool MaintenanceDatabase::check(bool quiet) {
  if (!Validate(quiet)) return false;
  switch (compare(kMinimumMaintenanceVersion, programRow_, programVersion(), quiet)) {
    case 0:
      break;
    case 1:
      if (!quiet) reportError("*Tarnwick Database is for a later version of Tarnwick");
      return false;
    case -1:
      // Only Tarnwick can upgrade it: the operator must hear of it even
      // from a quiet check.
      reportError("*The Tarnwick Database must be upgraded using Tarnwick");
      return false;
    default:
      if (!quiet) reportError("*Tarnwick Database version cannot be determined");
      return false;
  }
  long code = readActivityCode();
  if (code == kActivityArchive) code = clearInterruptedArchive();
  if (code == kActivityNone) return true;
  // -1 (the activity record unreadable) fails as well, and says so.
  reportError("*The Tarnwick Database is partway through a Reindex or Archive Purge operation");
  return false;
}

long MaintenanceDatabase::readActivityCode() {
  DBTable settings(*this, kDefaultDbf, kOpenReadOnly | kOpenNoIndex);
  DBField* reindex = settings.isOpen() ? settings.fieldByName("REINDEX") : nullptr;
  if (reindex == nullptr || settings.recordCount() < 1 || settings.go(1) != 0) return -1;
  return reindex->asLong();
}

// An archive purge that stopped after marking its archive leaves
// ArchDels.dbf with a first record of TYPE "H" whose COUNT is the number of
// an archives.dbf record with ARCHIVING true. Then the purge had not yet
// removed anything: the archive record is marked deleted, ArchDels.dbf
// dropped and REINDEX set back to 0. Anything else is left for the
// maintenance program.
long MaintenanceDatabase::clearInterruptedArchive() {
  long count = 0;
  {
    DBTable dels(*this, "ArchDels.dbf", kOpenExisting);
    DBTable archives(*this, "archives.dbf", kOpenExisting);
    DBTable settings(*this, kDefaultDbf, kOpenExisting | kOpenNoIndex);
    DBField* type = dels.isOpen() ? dels.fieldByName("TYPE") : nullptr;
    DBField* number = dels.isOpen() ? dels.fieldByName("COUNT") : nullptr;
    DBField* archiving = archives.isOpen() ? archives.fieldByName("ARCHIVING") : nullptr;
    DBField* reindex = settings.isOpen() ? settings.fieldByName("REINDEX") : nullptr;
    if (type == nullptr || number == nullptr || archiving == nullptr || reindex == nullptr)
      return kActivityArchive;
    if (dels.recordCount() < 1 || dels.go(1) != 0 || type->text() != "H") return kActivityArchive;
    count = number->asLong();
    if (count < 1 || count > archives.recordCount() || archives.go(static_cast<int32_t>(count)) != 0 ||
        !archiving->asBool())
      return kActivityArchive;
    if (settings.recordCount() < 1 || settings.go(1) != 0) return kActivityArchive;
    if (reindex->assignLong(0) != 0 || settings.commit() != 0 || settings.flush() != 0)
      return kActivityArchive;
    if (archives.markDeleted(true) != 0 || archives.commit() != 0 || archives.flush() != 0)
      return kActivityNone;  // REINDEX is already 0: the purge counts as done
  }
  (void)DropTable("ArchDels.dbf");
  return kActivityNone;
}
