// tarnwick-sim create DIR: a maintenance database with every table, field,
// tag, prototype record, version row, marker and lock file the gateway
// reads or writes.
//
//   --layout current  system/default.dbf states 2.9.0.0; Versions.dbf rows
//                     "DB" and "TW" hold 2.9.0.0 (the default)
//   --layout 2.7      system/default.dbf states 2.7.5.1 with UPGRSTEP 2
//                     (reads as 2.7.501.2: too old for the gateway)
//   --layout 2.5      the oldest layout, with system/default.dat
//   --interrupted-archive  REINDEX 3 with ArchDels.dbf and archives.dbf as
//                     an archive purge leaves them when it stops early
//   --activity N      REINDEX N (1: a reindex under way)
//   --no-samples      prototype records only
//
// A directory that already holds a database is refused, never overwritten.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "common/gui_session.h"
#include "common/version.h"
#include "db/gateway_layouts.h"
#include "db/maintenance_database.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "sample_tables.h"
#include "table/db_table.h"
#include "table/version_rows.h"

namespace {

bool parseOptions(const std::vector<std::string>& args, std::string* dir, SampleOptions* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--layout") {
      const std::string* v = value();
      if (v == nullptr) return false;
      if (*v == "current") o->layout = SampleOptions::current;
      else if (*v == "2.7") o->layout = SampleOptions::v27;
      else if (*v == "2.5") o->layout = SampleOptions::v25;
      else return false;
    } else if (a == "--interrupted-archive") {
      o->interruptedArchive = true;
    } else if (a == "--activity") {
      const std::string* v = value();
      if (v == nullptr) return false;
      char* end = nullptr;
      o->activity = std::strtol(v->c_str(), &end, 10);
      if (end == v->c_str() || *end != '\0') return false;
    } else if (a == "--no-samples") {
      o->samples = false;
    } else if (!a.empty() && a[0] != '-' && dir->empty()) {
      *dir = a;
    } else {
      return false;
    }
  }
  return !dir->empty();
}

int assignText(DBField* f, const std::string& text) {
  if (text.empty()) return f->blank();
  switch (f->type()) {
    case 'N': return f->assignLong(std::strtol(text.c_str(), nullptr, 10));
    case 'L': return f->assignBool(text == "T");
    default: return f->assign(stringT(text));
  }
}

bool writeTable(DatabaseContext& db, const SampleTable& t) {
  DBTable table(db, t.name, kOpenCreate | kOpenExclusive, &t.layout);
  if (!table.isOpen()) {
    std::fprintf(stderr, "tarnwick-sim: cannot create %s (%d)\n", t.name, table.openResult());
    return false;
  }
  for (const auto& row : t.rows) {
    int rc = table.appendStart();
    if (rc == 0) rc = table.blankRecord();
    for (size_t i = 0; rc == 0 && i < row.size(); ++i) rc = assignText(table.field(static_cast<int>(i)), row[i]);
    if (rc == 0) rc = table.commit();
    if (rc != 0) {
      std::fprintf(stderr, "tarnwick-sim: cannot write %s (%d)\n", t.name, rc);
      return false;
    }
  }
  return table.flush() == 0;
}

bool writeVersions(DatabaseContext& db) {
  static const DBTableLayout layout = versionsLayout();
  {
    DBTable table(db, "Versions.dbf", kOpenCreate | kOpenNoIndex | kOpenExclusive, &layout);
    if (!table.isOpen()) return false;
  }
  const Version v{{2, 9, 0, 0}};
  return db.openVersions() && db.WriteVersion(kVersionRowDatabase, v) == 0 &&
         db.WriteVersion(kVersionRowMaintenance, v) == 0;
}

}  // namespace

int cmdCreate(const std::vector<std::string>& args) {
  std::string dir;
  SampleOptions options;
  if (!parseOptions(args, &dir, &options)) {
    std::fprintf(stderr, "usage: tarnwick-sim create DIR [--layout current|2.7|2.5] "
                         "[--interrupted-archive] [--activity N] [--no-samples]\n");
    return kExitUsage;
  }
  FileSystem& fs = platformFileSystem();
  std::string full = absolutePath(dir);
  for (const char* marker : {"system/default.dbf", "system/default.dat", "contacts.dbf", "Versions.dbf"}) {
    if (fs.exists(fs.resolveName(full + "/" + marker))) {
      std::fprintf(stderr, "tarnwick-sim: %s already holds a database; nothing changed\n", full.c_str());
      return kExitFailed;
    }
  }
  GUISession& session = guiSession();
  if (!DatabaseContext::CreateDatabaseDirectory(stringT(full), &session)) return kExitFailed;
  int err = makeDirectory(full + "/system");
  if (err != 0 && err != EEXIST) {
    std::fprintf(stderr, "tarnwick-sim: cannot create %s/system\n", full.c_str());
    return kExitFailed;
  }
  MaintenanceDatabase db(stringT(full), &session);
  db.Lock(true);  // nobody may see the database half made
  if (!db.exclusive()) return kExitFailed;
  for (const SampleTable& t : sampleTables(options))
    if (!writeTable(db, t)) return kExitFailed;
  if (options.layout == SampleOptions::current && !writeVersions(db)) {
    std::fprintf(stderr, "tarnwick-sim: cannot write Versions.dbf\n");
    return kExitFailed;
  }
  db.Lock(false);
  std::printf("created maintenance database %s\n", full.c_str());
  return kExitDone;
}
