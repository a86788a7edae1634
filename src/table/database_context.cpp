#include "table/database_context.h"

#include <cerrno>

#include "common/string_mapper.h"
#include "engine/error4.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "table/db_table.h"
#include "table/engine_context.h"
#include "table/engine_message.h"
#include "table/engine_message_table.h"
#include "table/path_names.h"
#include "table/version_rows.h"

namespace {
std::string normalisedDirectory(const stringT& path) {
  std::string p = path.str();
  for (char& c : p)
    if (c == '\\') c = '/';
  return absolutePath(p);
}
}  // namespace

DatabaseContext::DatabaseContext(const stringT& path, GUISession* reporter, bool readOnly,
                                 CODE4* engine)
    : directory_(normalisedDirectory(path)),
      readOnly_(readOnly),
      engine_(engine != nullptr ? engine : &gatewayEngine()),
      reporter_(reporter != nullptr ? reporter : &guiSession()) {
  openVersions();
}

DatabaseContext::~DatabaseContext() {
  versions_.reset();
  session_.reset();
}

std::string DatabaseContext::pathOf(const std::string& name) const {
  if (!name.empty() && name[0] == '/') return name;
  return directory_ == "/" ? "/" + name : directory_ + "/" + name;
}

std::string DatabaseContext::resolve(const std::string& name) const {
  FileSystem& fs = platformFileSystem();
  return fs.resolveName(pathOf(name));
}

void DatabaseContext::reportError(const char* marked, const stringT& argument) const {
  if (argument.empty())
    reporter_->Error(translate(marked));
  else
    reporter_->Error(translate(marked), argument);
}

void DatabaseContext::reportFileError(int engineCode, const stringT& path) const {
  int row = lookupEngineMessage(engineCode, 0);
  const char* text = row >= 0 ? engineMessageTable()[row].text : error4text(engineCode);
  reportError(text, path);
}

void DatabaseContext::reportInternalError(const char* text) const { reporter_->InternalError(text); }

bool DatabaseContext::openVersions() {
  if (versions_ && versions_->isOpen()) return true;
  static const DBTableLayout layout = versionsLayout();
  versions_ = std::make_unique<DBTable>(*this, "Versions.dbf",
                                        kOpenExisting | kOpenQuiet | kOpenNoIndex | kOpenShared,
                                        &layout);
  if (!versions_->isOpen()) versions_.reset();
  return versions_ != nullptr;
}

void DatabaseContext::closeVersions() { versions_.reset(); }

int DatabaseContext::ReadVersion(int row, Version* out, bool quiet) {
  *out = Version{};
  if (!openVersions()) {
    if (!quiet) reportError("*Database Version table is not available", stringT(pathOf("Versions.dbf")));
    return 6;
  }
  DBTable& t = *versions_;
  int32_t count = t.recordCount();
  if (count < 0) return count;
  if (row != kVersionRowDatabase && row + 1 > count) return 0;
  if (row < 0 || row >= kVersionRowsKnown || row + 1 > count) {
    if (!quiet) reportError("*Database Version table is not valid", stringT(t.path()));
    return e4data;
  }
  int rc = t.go(row + 1);
  if (rc != 0) return rc < 0 ? rc : e4read;
  stringT id = t.field(kVerProgId)->raw();
  stringT text = t.field(kVerVersion)->raw();
  stringT check = t.field(kVerCheck)->raw();
  if (id.trimRight().empty() && text.trimRight().empty() && check.trimRight().empty()) return 0;
  std::optional<Version> v;
  if (versionRowValid(row, id.view(), text.view(), check.view())) v = Version::parse(text.view());
  if (!v) {
    if (!quiet) reportError("*Database Version table is not valid", stringT(t.path()));
    return e4data;
  }
  *out = *v;
  return 0;
}

int DatabaseContext::WriteDatabaseVersion(const Version& v) { return WriteVersion(kVersionRowDatabase, v); }

int DatabaseContext::WriteVersion(int row, const Version& v) {
  if (row < 0 || row >= kVersionRowsKnown) return e4parm;
  if (!openVersions()) {
    reportError("*Cannot save updated Version table", stringT(pathOf("Versions.dbf")));
    return 6;
  }
  DBTable& t = *versions_;
  for (;;) {
    int32_t count = t.recordCount();
    if (count < 0) return count;
    if (count >= row + 1) break;
    int rc = t.appendStart();
    if (rc == 0) rc = t.blankRecord();
    if (rc == 0) rc = t.commit();
    if (rc != 0) return rc;
  }
  int rc = t.go(row + 1);
  stringT text = v.toString();
  if (rc == 0) rc = t.field(kVerProgId)->assign(versionRowId(row));
  if (rc == 0) rc = t.field(kVerVersion)->assign(text);
  if (rc == 0) rc = t.field(kVerCheck)->assign(stringT(scrambleCheck(text.view())));
  if (rc == 0) rc = t.commit();
  if (rc == 0) rc = t.flush();
  return rc;
}

int DatabaseContext::compare(const Version& minimum, int programRow, const Version& program,
                             bool quiet) {
  Version database;
  if (ReadDatabaseVersion(&database, quiet) != 0) return 2;
  if (database < minimum) return -1;
  Version written;
  if (ReadVersion(programRow, &written, quiet) != 0) return 2;
  return program < written ? 1 : 0;
}

bool DatabaseContext::DropTable(const stringT& name) {
  std::string base = name.str();
  if (!hasExtension(base)) base += ".dbf";
  std::string stem = withoutExtension(base);
  FileSystem& fs = platformFileSystem();
  for (const std::string& file : {base, stem + ".cdx", stem + ".fpt"}) {
    std::string path = resolve(file);
    int err = fs.remove(path);
    if (err != 0 && err != ENOENT) {
      reportFileError(e4remove, stringT(path));
      return false;
    }
  }
  return true;
}

bool DatabaseContext::CreateDatabaseDirectory(const stringT& path, GUISession* reporter) {
  if (reporter == nullptr) reporter = &guiSession();
  std::string dir = normalisedDirectory(path);
  DirectoryInfo info;
  int err = directoryInfo(dir, &info);
  if (err == ENOENT) err = makeDirectory(dir);
  if (err == 0 && directoryInfo(dir, &info) == 0 && !info.isDirectory) err = ENOTDIR;
  if (err != 0) {
    reporter->Error(translate("*Creating Database directory"), stringT(dir));
    return false;
  }
  FileSystem& fs = platformFileSystem();
  if (fs.exists(fs.resolveName(dir + "/session.lok"))) return true;
  for (const char* name : {"exclude.lok", "session.lok"}) {
    std::string file = fs.resolveName(dir + "/" + name);
    std::unique_ptr<PlatformFile> handle;
    err = fs.create(file, CreateMode::createAlways, ShareMode::exclusive, &handle);
    if (err == EWOULDBLOCK) {
      reporter->Error(translate("*Permission Error Opening File"), stringT(file));
      return false;
    }
    if (err != 0) {
      reporter->Error(translate("*Cannot create DB locking file"), stringT(file));
      return false;
    }
  }
  return true;
}
