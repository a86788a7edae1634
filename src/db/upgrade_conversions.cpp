// The table conversions of the upgrade script (see upgrade.h for the rules
// that make each of them safe to run again after an interruption).
#include <cerrno>
#include <functional>

#include "db/gateway_database.h"
#include "db/gateway_layouts.h"
#include "db/upgrade.h"
#include "engine/error4.h"
#include "platform/file.h"
#include "table/db_table.h"
#include "table/db_table_copy.h"
#include "table/version_rows.h"

namespace {

struct Conversion {
  const char* table;    // "logs"
  const char* temp;     // complete copy of the table: "logtemp"
  const char* staging;  // copy being written: "logcopy"
  DBTableLayout source;
  DBTableLayout target;
};

using AfterCopy = std::function<int(DBTable& destination)>;

std::string dbf(const char* name) { return std::string(name) + ".dbf"; }
std::string fpt(const char* name) { return std::string(name) + ".fpt"; }

bool exists(GatewayDatabase& db, const std::string& name) {
  return platformFileSystem().exists(db.resolve(name));
}

enum class Found { missing, source, target, unknown };

Found classify(GatewayDatabase& db, const char* table, const DBTableLayout& source,
               const DBTableLayout& target) {
  if (!exists(db, dbf(table))) return Found::missing;
  DBTable t(db, dbf(table), kOpenReadOnly | kOpenNoIndex);
  if (!t.isOpen()) return Found::unknown;
  if (t.hasFields(source)) return Found::source;
  return t.hasFields(target) ? Found::target : Found::unknown;
}

// Makes "<temp>.dbf" a complete copy of the table.
bool stageCopy(GatewayDatabase& db, const Conversion& c) {
  if (!db.DropTable(dbf(c.temp)) || !db.DropTable(dbf(c.staging))) return false;
  if (CopyTable(db, dbf(c.table), dbf(c.staging)) != 0) {
    (void)db.DropTable(dbf(c.staging));
    return false;
  }
  FileSystem& fs = platformFileSystem();
  for (auto* name : {&fpt, &dbf}) {
    std::string from = db.resolve((*name)(c.staging));
    if (!fs.exists(from)) continue;
    if (fs.rename(from, db.pathOf((*name)(c.temp))) != 0) {
      db.reportFileError(e4rename, stringT(from));
      return false;
    }
  }
  return true;
}

// Rebuilds the table in the target layout from its complete copy.
bool rebuild(GatewayDatabase& db, const Conversion& c, const CopyRecordHook& hook,
             const AfterCopy& after) {
  int rc;
  {
    DBTable source(db, dbf(c.temp), kOpenReadOnly | kOpenNoIndex, &c.source);
    if (!source.isOpen()) return false;
    DBTable destination(db, dbf(c.table), kOpenReplace, &c.target);
    if (!destination.isOpen()) return false;
    rc = CopyRecords(source, destination, hook);
    if (rc == 0 && after) rc = after(destination);
    if (rc == 0) rc = destination.flush();
    int closed = destination.close();
    if (rc == 0) rc = closed;
  }
  return rc == 0 && db.DropTable(dbf(c.temp));
}

bool convert(GatewayDatabase& db, const Conversion& c, const CopyRecordHook& hook = {},
             const AfterCopy& after = {}) {
  if (!exists(db, dbf(c.temp))) {
    switch (classify(db, c.table, c.source, c.target)) {
      case Found::missing:
      case Found::target:
        return true;
      case Found::unknown:
        db.reportError("*Incorrect Fields", stringT(db.resolve(dbf(c.table))));
        return false;
      case Found::source:
        break;
    }
    if (!stageCopy(db, c)) return false;
  }
  return rebuild(db, c, hook, after);
}

// Whether the table (or its complete copy) is in one of the layouts.
bool known(GatewayDatabase& db, const char* table, const char* temp,
           std::initializer_list<DBTableLayout> layouts) {
  if (exists(db, dbf(temp)) || !exists(db, dbf(table))) return true;
  DBTable t(db, dbf(table), kOpenReadOnly | kOpenNoIndex);
  bool ok = false;
  for (const DBTableLayout& layout : layouts) ok = ok || t.hasFields(layout);
  if (!ok) db.reportError("*Incorrect Fields", stringT(db.resolve(dbf(table))));
  return ok;
}

}  // namespace

bool upgradeTablesKnown(GatewayDatabase& db) {
  return known(db, "accounts", "acctemp", {accountsLayout()}) &&
         known(db, "logs", "logtemp", {logsLayout1(), logsLayout2()});
}

bool upgradeCreateVersions(GatewayDatabase& db) {
  if (!db.openVersions()) {
    static const DBTableLayout layout = versionsLayout();
    DBTable created(db, "Versions.dbf", kOpenOrCreate | kOpenNoIndex | kOpenShared, &layout);
    if (!created.isOpen()) return false;
  }
  if (!db.openVersions()) return false;
  // Row 0 at once, so that a run stopped before the next version entry
  // still finds the version it started from.
  Version v;
  if (db.versions()->recordCount() > 0 && db.ReadVersion(kVersionRowDatabase, &v, true) == 0 &&
      v != Version{})
    return true;
  return db.WriteDatabaseVersion(kFirstGatewayVersion) == 0;
}

// The first accounts layout has the current fields; its records are kept
// and converted by the next block's accounts step.
bool upgradeOldAccounts(GatewayDatabase&) { return true; }

bool upgradeLogs1To2(GatewayDatabase& db) {
  Conversion c{"logs", "logtemp", "logcopy", logsLayout1(), logsLayout2()};
  return convert(db, c, [](DBTable& from, DBTable& to) {
    auto source = [&](const char* name) { return from.fieldByName(name); };
    int rc = to.field(kLogFlags)->assignLong(0);
    if (rc == 0) rc = to.field(kLogCDate)->assign(source("DATE")->raw());
    if (rc == 0) rc = to.field(kLogCTime)->assign(source("TIME")->raw());
    DBField* xkey = source("XKEY");
    if (rc == 0)
      rc = xkey->raw().trim().empty() ? to.field(kLogWrKey)->blank()
                                      : to.field(kLogWrKey)->assignLong(xkey->asLong());
    if (rc == 0) rc = to.field(kLogWoSchedule)->blank();
    normaliseDateField(to, kLogCDate);
    return rc == 0;
  });
}

bool upgradeAccountsAnew(GatewayDatabase& db) {
  Conversion c{"accounts", "acctemp", "acccopy", accountsLayout(), accountsLayout()};
  // The Everybody account of the older layout is a record whose CONTACTKEY
  // is -1; its flags move into record 1 (the last such record's, record 1
  // counted) and it is marked deleted; record 1 itself never is. With no
  // such record record 1 gets no flags. Record 1 is then marked with
  // CONTACTKEY -1, as in a table made new: a run stopped after this step
  // runs it again on its result, and finds the flags in record 1.
  long flags = 0;
  auto hook = [&](DBTable& from, DBTable& to) {
    bool minusOne = to.field(kAccContactKey)->asLong() == -1;
    if (minusOne) flags = to.field(kAccFlags)->asLong();
    return to.markDeleted(from.recordNumber() != 1 && minusOne) == 0;
  };
  auto after = [&](DBTable& to) {
    if (to.recordCount() < 1) return 0;
    int rc = to.go(1);
    if (rc == 0) rc = to.field(kAccFlags)->assignLong(flags);
    if (rc == 0) rc = to.field(kAccContactKey)->assignLong(-1);
    return rc == 0 ? to.commit() : rc;
  };
  return convert(db, c, hook, after);
}

bool upgradeLogs2To3(GatewayDatabase& db) {
  Conversion c{"logs", "logtemp", "logcopy", logsLayout2(), logsLayout()};
  return convert(db, c);
}
