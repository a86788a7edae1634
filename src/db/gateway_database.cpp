#include "db/gateway_database.h"

#include "db/gateway_layouts.h"
#include "db/gateway_tables.h"
#include "platform/file.h"
#include "table/db_table.h"
#include "table/version_rows.h"

GatewayDatabase::GatewayDatabase(const stringT& path, GUISession* reporter, bool canUpgrade,
                                 CODE4* engine)
    : DatabaseContext(path, reporter, false, engine), canUpgrade_(canUpgrade) {
  // The gateway's tables hold the mail it received: files made in its
  // directory are not for every user of the machine.
  addPrivateDirectory(path.str());
}

int GatewayDatabase::ReadDatabaseVersion(Version* out, bool quiet) {
  FileSystem& fs = platformFileSystem();
  if (!fs.exists(resolve("Versions.dbf"))) {
    *out = kFirstGatewayVersion;
    return 0;
  }
  if (openVersions() && versions()->recordCount() == 0) {
    *out = kFirstGatewayVersion;
    return 0;
  }
  int rc = ReadVersion(kVersionRowDatabase, out, quiet);
  if (rc == 0 && *out == Version{}) *out = kFirstGatewayVersion;
  return rc;
}

bool GatewayDatabase::check(bool quiet) {
  if (!Validate(quiet)) return false;
  Version version;
  int answer = compare(kMinimumGatewayVersion, kVersionRowGateway, programVersion(), quiet);
  switch (answer) {
    case 0:
      return true;
    case 1:
      if (!quiet) reportError("*@Orvane Database is for a later version of @Orvane");
      return false;
    case -1:
      if (!canUpgrade_) {
        if (!quiet) reportError("*The @Orvane Database must be upgraded using the @Orvane Installer");
        return false;
      }
      if (ReadDatabaseVersion(&version, quiet) != 0) return false;
      return Upgrade(version);
    default:
      if (!quiet) reportError("*@Orvane Database version cannot be determined");
      return false;
  }
}

bool GatewayDatabase::createTables() {
  addPrivateDirectory(directory());  // it may have been made since this object was
  if (!openVersions()) {
    static const DBTableLayout layout = versionsLayout();
    DBTable created(*this, "Versions.dbf", kOpenOrCreate | kOpenNoIndex | kOpenShared, &layout);
    if (!created.isOpen()) return false;
  }
  if (!openVersions()) return false;
  if (WriteVersion(kVersionRowDatabase, kCurrentGatewayVersion) != 0) return false;
  if (WriteVersion(kVersionRowGateway, programVersion()) != 0) return false;
  return openAndPrimeAccounts(*this) && openAndPrimeLogs(*this);
}
