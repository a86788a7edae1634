// Validate and Lock of DatabaseContext: recognising a database directory
// and holding its session lock.
//
// Lock, for the mode asked for:
//   1. already held in that mode: done.
//   2. open exclude.lok without sharing; while another program holds it,
//      wait one second and retry, at most ten times ("*Cannot obtain lock
//      file"); the present mode is kept on any failure.
//   3. close the present session.lok handle.
//   4. open session.lok shared or exclusive.
//   5. held elsewhere: an exclusive request falls back to shared ("*DB
//      cannot be locked for exclusive use"); a shared request means another
//      program holds it exclusively ("*DB locked for exclusive use").
//      Another failure reopens the previous mode and reports the system's
//      message.
//   6. close exclude.lok; the new mode is recorded.
// exclude.lok is closed on every path out of steps 3 to 6.
#include <cerrno>

#include "common/diagnostics.h"
#include "common/string_mapper.h"
#include "engine/file4.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/mount_info.h"
#include "table/database_context.h"
#include "table/engine_message.h"

namespace {
constexpr int kExcludeRetries = 10;
constexpr int64_t kExcludeRetryMs = 1000;
}  // namespace

bool DatabaseContext::Validate(bool quiet) {
  auto report = [&](const char* marked, const std::string& path) {
    if (!quiet) reportError(marked, stringT(path));
  };
  DirectoryInfo info;
  int err = directoryInfo(directory_, &info);
  if (err != 0) {
    if (!quiet) reportFileError(file4systemErrorCode(err), stringT(directory_));
    return false;
  }
  if (!info.isDirectory) {
    report("*DB is not a directory", directory_);
    return false;
  }
  if (!info.writable && !readOnly_) {
    report("*DB directory is not writeable", directory_);
    return false;
  }
  if (!readOnly_ && !checkShareMount(quiet)) return false;
  DirectoryInfo lockInfo;
  err = directoryInfo(resolve("session.lok"), &lockInfo);
  if (err == ENOENT) {
    if (directoryInfo(resolve("system/default.dat"), &lockInfo) == 0) {
      created_ = true;
      return true;
    }
    report("*DB directory is not a DB", directory_);
    return false;
  }
  if (err != 0) {
    report("*DB directory is not accessible", directory_);
    return false;
  }
  GUISession* saved = reporter_;
  // A quiet validation keeps the lock's messages to itself too.
  struct Muted : GUISession {
    void Error(const stringT&) override {}
    void Error(const stringT&, const stringT&) override {}
  } muted;
  if (quiet) reporter_ = &muted;
  Lock(false);
  reporter_ = saved;
  return sessionLocked();
}

// A database on a Windows share is written safely only when the byte-range
// locks reach the server (platform/mount_info.h): a mount with nobrl is
// refused, one with cache=loose is written but warned about.
bool DatabaseContext::checkShareMount(bool quiet) {
  MountInfo mount = mountInfo(directory_);
  if (!mount.smb) return true;
  stringT where = stringT(directory_) + (mount.mountPoint.empty() ? stringT() : stringT(" (" + mount.mountPoint + ")"));
  if (mount.noByteRangeLocks) {
    if (!quiet) reportError("*The database share is mounted with the option nobrl", where);
    return false;
  }
  if (mount.looseCache)
    diagnostics().addDiagnostic(translate("*The database share is mounted with cache=loose") + "\r\n" + where);
  return true;
}

bool DatabaseContext::takeExcludeLock(std::unique_ptr<PlatformFile>* exclude) {
  FileSystem& fs = platformFileSystem();
  std::string path = resolve("exclude.lok");
  int err = fs.open(path, true, ShareMode::exclusive, exclude);
  for (int retry = 0; err == EWOULDBLOCK && retry < kExcludeRetries; ++retry) {
    platformClock().sleepMs(kExcludeRetryMs);
    err = fs.open(path, true, ShareMode::exclusive, exclude);
  }
  if (err == EWOULDBLOCK) {
    reportError("*Cannot obtain lock file", stringT(path));
    return false;
  }
  if (err != 0) {
    reporter_->Error(SystemMessage(err).messageText(), stringT(path));
    return false;
  }
  return true;
}

void DatabaseContext::Lock(bool exclusive) {
  if (session_ && exclusive_ == exclusive) return;
  std::unique_ptr<PlatformFile> exclude;
  if (!takeExcludeLock(&exclude)) return;

  FileSystem& fs = platformFileSystem();
  std::string path = resolve("session.lok");
  bool wasHeld = session_ != nullptr;
  bool wasExclusive = exclusive_;
  session_.reset();
  auto openSession = [&](bool asExclusive) {
    return fs.open(path, readOnly_, asExclusive ? ShareMode::exclusive : ShareMode::shared,
                   &session_);
  };
  int err = openSession(exclusive);
  if (err == 0) {
    exclusive_ = exclusive;
    return;  // exclude closes here
  }
  session_.reset();
  if (err == EWOULDBLOCK) {
    if (exclusive && !wasExclusive && openSession(false) != 0) session_.reset();
    exclusive_ = false;
    exclude.reset();
    reportError(exclusive ? "*DB cannot be locked for exclusive use" : "*DB locked for exclusive use",
                stringT(directory_));
    return;
  }
  if (wasHeld && openSession(wasExclusive) != 0) session_.reset();
  exclusive_ = session_ != nullptr && wasExclusive;
  exclude.reset();
  reporter_->Error(SystemMessage(err).messageText(), stringT(path));
}
