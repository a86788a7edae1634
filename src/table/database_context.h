// DatabaseContext: one database directory (the gateway's or the
// maintenance program's) as the program uses it.
//
// It holds the directory's absolute path, a read-only flag, the session
// lock (an open handle on session.lok, shared or exclusive), the created
// flag (the directory has the maintenance marker system/default.dat but no
// session.lok yet), the Versions.dbf table, and the reporters through which
// errors and progress reach the user.
//
// Lock files (both empty):
//   | file        | use                                                     |
//   |-------------|---------------------------------------------------------|
//   | session.lok | held open by every program using the database: shared   |
//   |             | (many holders) or exclusive (one holder)                |
//   | exclude.lok | held without sharing only while a program changes its   |
//   |             | hold on session.lok, so two never change modes at once  |
// Share modes are the platform's flock emulation (platform/file.h), so the
// locks work between processes. Waiting for exclude.lok uses the platform
// clock: ten retries one second apart.
//
// Virtual operations, in slot order: Validate, ReadDatabaseVersion,
// ReadVersion, WriteDatabaseVersion, WriteVersion, check; the two kinds of
// database (gateway_database.h, maintenance_database.h) add their own.
//
// Errors go to the error reporter (a GUISession) as the translated message
// with the path as extra text. One thread.
#pragma once

#include <memory>
#include <string>

#include "common/gui_session.h"
#include "common/string.h"
#include "common/version.h"

struct CODE4;
class DBTable;
class PlatformFile;
class ProgressReporter;

class DatabaseContext {
 public:
  // path: the directory (made absolute; "\" read as "/"). engine: the
  // engine context its tables use (gatewayEngine() when null).
  DatabaseContext(const stringT& path, GUISession* reporter, bool readOnly = false,
                  CODE4* engine = nullptr);
  virtual ~DatabaseContext();
  DatabaseContext(const DatabaseContext&) = delete;
  DatabaseContext& operator=(const DatabaseContext&) = delete;

  // Checks the directory and takes the session lock shared. quiet: report nothing.
  virtual bool Validate(bool quiet);
  virtual int ReadDatabaseVersion(Version* out, bool quiet) = 0;
  // Row `row` of Versions.dbf: 0 and the version; 6 when the table cannot
  // be opened; -200 when the row is not valid; or the engine's code.
  virtual int ReadVersion(int row, Version* out, bool quiet);
  virtual int WriteDatabaseVersion(const Version& v);
  // Rows 0 to 2: appends blank records until the row exists, then writes
  // PROGID, VERSION and CHECK. 0; 6 when the table is not open.
  virtual int WriteVersion(int row, const Version& v);
  // Whether every table opened for writing here is written: such a table
  // that cannot be written is refused at open (the gateway's own tables).
  // Elsewhere (the maintenance program's tables) an unwritable file opens
  // read-only, as the engine opens it.
  virtual bool writesItsTables() const { return false; }
  // The version check of the kind of database; true when it may be used.
  virtual bool check(bool quiet) = 0;

  // Creates the directory when missing and its two lock files when
  // session.lok is missing. False after reporting.
  static bool CreateDatabaseDirectory(const stringT& path, GUISession* reporter);

  // Takes the session lock in the mode asked for (see database_lock.cpp).
  void Lock(bool exclusive);
  // Deletes name's .dbf, .cdx and .fpt files; a missing file counts as
  // deleted. False after reporting the first file that could not be removed.
  bool DropTable(const stringT& name);

  // Compares the database with a program: -1 too old (below minimum), 0
  // fine, 1 written by a later version of the program, 2 undetermined.
  int compare(const Version& minimum, int programRow, const Version& program, bool quiet);

  const std::string& directory() const { return directory_; }
  // directory() + "/" + name.
  std::string pathOf(const std::string& name) const;
  // pathOf(name), or the existing file whose name differs only in case.
  std::string resolve(const std::string& name) const;
  CODE4* engine() const { return engine_; }
  bool readOnly() const { return readOnly_; }
  bool sessionLocked() const { return session_ != nullptr; }
  bool exclusive() const { return exclusive_; }
  bool created() const { return created_; }
  GUISession* reporter() const { return reporter_; }
  ProgressReporter* progress() const { return progress_; }
  void setProgress(ProgressReporter* progress) { progress_ = progress; }

  // Shows translate(marked) (extra text: argument, when not empty).
  void reportError(const char* marked, const stringT& argument = stringT()) const;
  // The message table's text for an engine file code, with the path.
  void reportFileError(int engineCode, const stringT& path) const;
  // "Internal Error" box for misuse of the table layer.
  void reportInternalError(const char* text) const;

  // The Versions.dbf table (opened quietly, without index, shared), or
  // nullptr when it is not open. openVersions() tries again.
  DBTable* versions() const { return versions_.get(); }
  bool openVersions();
  void closeVersions();

 private:
  // False (reported unless quiet) when the directory is on an SMB mount
  // that would let the tables be damaged; warns about a risky one.
  bool checkShareMount(bool quiet);
  bool takeExcludeLock(std::unique_ptr<PlatformFile>* exclude);

  std::string directory_;
  bool readOnly_;
  CODE4* engine_;
  GUISession* reporter_;
  ProgressReporter* progress_ = nullptr;
  std::unique_ptr<PlatformFile> session_;
  bool exclusive_ = false;
  bool created_ = false;
  std::unique_ptr<DBTable> versions_;
};
