#include "engine/file4.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include "engine/code4.h"
#include "platform/clock.h"

int file4systemErrorCode(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case EISDIR:
    case ELOOP:
    case ENXIO:
    case ENODEV:
      return e4fileFind;
    case EMFILE:
    case ENFILE:
      return e4numFiles;
    case EACCES:
    case EPERM:
    case EWOULDBLOCK:
    case EROFS:
    case ETXTBSY:
      return e4permiss;
    case ENOSPC:
#ifdef EDQUOT  // no disk quotas in the Windows C library's numbers
    case EDQUOT:
#endif
      return e4write;
    default:
      return e4open;
  }
}

namespace {

ShareMode shareFor(char accessMode) {
  switch (accessMode) {
    case OPEN4DENY_RW:
      return ShareMode::exclusive;
    case OPEN4DENY_WRITE:
      return ShareMode::denyWrite;
    default:
      return ShareMode::shared;
  }
}

bool validAccessMode(char m) {
  return m == OPEN4DENY_NONE || m == OPEN4DENY_RW || m == OPEN4DENY_WRITE;
}

int reportRead(FILE4* f, int64_t pos, size_t length, const char* routine, long location) {
  char where[96];
  snprintf(where, sizeof where, "position %" PRId64 ", length %zu", pos, length);
  return error4describe(f->codeBase, e4read, location, f->name.c_str(), where, routine);
}

}  // namespace

int file4open(FILE4* f, CODE4* c, std::string_view name) {
  if (error4code(c) < 0) return e4codeBase;
  f->codeBase = c;
  f->name.assign(name);
  f->removeOnClose = false;
  f->cachedLength = -1;
  if (!validAccessMode(c->accessMode)) return error4describe(c, e4open, loc4open, f->name.c_str());
  FileSystem& fs = code4fileSystem(c);
  f->isReadOnly = c->readOnly == 1 || fs.readOnlyAttribute(f->name);
  f->accessMode = c->accessMode;
  int err = fs.open(f->name, f->isReadOnly, shareFor(c->accessMode), &f->handle);
  if (err == 0) return 0;
  f->handle.reset();
  if (!c->errorOnOpen) return r4noOpen;
  errno = err;
  return error4describe(c, file4systemErrorCode(err), loc4openSystem, f->name.c_str());
}

int file4create(FILE4* f, CODE4* c, std::string_view name) {
  if (error4code(c) < 0) return e4codeBase;
  if (name.empty()) return file4temp(f, c, false);
  f->codeBase = c;
  f->name.assign(name);
  f->removeOnClose = false;
  f->cachedLength = 0;
  f->isReadOnly = false;
  f->accessMode = c->accessMode;
  if (!validAccessMode(c->accessMode)) return r4noCreate;
  FileSystem& fs = code4fileSystem(c);
  CreateMode mode = c->createSafety ? CreateMode::createNew : CreateMode::createAlways;
  int err = fs.create(f->name, mode, shareFor(c->accessMode), &f->handle);
  if (err == 0) return 0;
  f->handle.reset();
  bool refused = err == EEXIST || err == EWOULDBLOCK;
  if (!c->errorOnCreate) return refused ? r4noCreate : e4create;
  errno = err;
  return error4describe(c, e4create, refused ? loc4create : loc4createSystem, f->name.c_str());
}

int file4temp(FILE4* f, CODE4* c, bool useTempDir, std::string_view ext) {
  if (error4code(c) < 0) return e4codeBase;
  FileSystem& fs = code4fileSystem(c);
  std::string dir = useTempDir ? fs.tempDirectory() : "";
  if (!dir.empty() && dir.back() != '/') dir += '/';
  char saveSafety = c->createSafety;
  int saveErr = c->errorOnCreate;
  c->createSafety = 1;
  c->errorOnCreate = 0;
  int rc = r4noCreate;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char base[16];
    snprintf(base, sizeof base, "TEMP%04d.", static_cast<int>(platformClock().now() % 10000));
    rc = file4create(f, c, dir + base + std::string(ext));
    if (rc != r4noCreate) break;
    platformClock().sleepMs(500);
  }
  c->createSafety = saveSafety;
  c->errorOnCreate = saveErr;
  if (rc == 0) {
    f->removeOnClose = true;
    return 0;
  }
  if (rc == r4noCreate) return error4describe(c, e4create, loc4create, "TEMP####.TMP");
  return rc;
}

int file4close(FILE4* f) {
  if (!f->isOpen()) return 0;
  f->handle.reset();
  int rc = 0;
  if (f->removeOnClose && f->codeBase != nullptr) {
    if (code4fileSystem(f->codeBase).remove(f->name) != 0)
      rc = error4describe(f->codeBase, e4remove, 0, f->name.c_str());
  }
  f->removeOnClose = false;
  f->cachedLength = -1;
  return rc;
}

int64_t file4read(FILE4* f, int64_t pos, void* buffer, size_t length) {
  if (error4code(f->codeBase) < 0) return e4codeBase;
  if (!f->isOpen() || pos < 0) return reportRead(f, pos, length, "file4readLow", loc4readSystem);
  int64_t n = f->handle->read(pos, buffer, length);
  // Where byte-range locks are mandatory (Windows), bytes another program
  // holds locked cannot be read: a lock conflict, not a damaged file.
  if (n == -EWOULDBLOCK) {
    char where[96];
    snprintf(where, sizeof where, "position %" PRId64 ", length %zu locked by another program", pos, length);
    return error4describe(f->codeBase, e4lock, loc4readSystem, f->name.c_str(), where, "file4readLow");
  }
  if (n < 0) return reportRead(f, pos, length, "file4readLow", loc4readSystem);
  return n;
}

int file4readAll(FILE4* f, int64_t pos, void* buffer, size_t length) {
  int64_t n = file4read(f, pos, buffer, length);
  if (n < 0) return static_cast<int>(n);
  if (static_cast<size_t>(n) != length) return reportRead(f, pos, length, "file4readAllLow", loc4read);
  return 0;
}

namespace {

// Why a write to f at pos cannot start (0: it can).
int writeRefused(FILE4* f, int64_t pos) {
  CODE4* c = f->codeBase;
  if (error4code(c) < 0) return e4codeBase;
  if (f->isReadOnly) return error4describe(c, e4write, loc4writeReadOnly, f->name.c_str());
  if (!f->isOpen() || pos < 0) return error4describe(c, e4write, loc4write, f->name.c_str());
  return 0;
}

// Reports a write of length bytes at pos that wrote n (or -errno).
int writeDone(FILE4* f, int64_t pos, size_t length, int64_t n) {
  CODE4* c = f->codeBase;
  if (n < 0) return error4describe(c, e4write, loc4writeSystem, f->name.c_str());
  if (static_cast<size_t>(n) != length) return error4describe(c, e4write, loc4write, f->name.c_str());
  if (f->cachedLength >= 0 && pos + n > f->cachedLength) f->cachedLength = pos + n;
  if (c->flushEachWrite && f->handle->flush() != 0)
    return error4describe(c, e4write, loc4flushSystem, f->name.c_str());
  return 0;
}

}  // namespace

int file4write(FILE4* f, int64_t pos, const void* buffer, size_t length) {
  if (int rc = writeRefused(f, pos)) return rc;
  return writeDone(f, pos, length, f->handle->write(pos, buffer, length));
}

int file4writePieces(FILE4* f, int64_t pos, std::span<const WritePiece> pieces) {
  if (int rc = writeRefused(f, pos)) return rc;
  size_t length = 0;
  for (const WritePiece& p : pieces) length += p.length;
  return writeDone(f, pos, length, f->handle->writePieces(pos, pieces));
}

int64_t file4len(FILE4* f) {
  if (error4code(f->codeBase) < 0) return e4codeBase;
  int64_t n = f->isOpen() ? f->handle->length() : -EBADF;
  if (n < 0) return error4describe(f->codeBase, e4len, 0, f->name.c_str());
  f->cachedLength = n;
  return n;
}

int file4lenSet(FILE4* f, int64_t length) {
  if (error4code(f->codeBase) < 0) return e4codeBase;
  if (f->isReadOnly) return error4describe(f->codeBase, e4parm, 0, f->name.c_str());
  if (!f->isOpen() || length < 0 || f->handle->setLength(length) != 0)
    return error4describe(f->codeBase, e4lenSet, 0, f->name.c_str());
  f->cachedLength = length;
  return 0;
}

int file4flush(FILE4* f) {
  if (error4code(f->codeBase) < 0) return e4codeBase;
  if (!f->isOpen() || f->isReadOnly) return 0;
  if (f->handle->flush() != 0) return error4describe(f->codeBase, e4optFlush, 0, f->name.c_str());
  return 0;
}

bool file4locksNeeded(const FILE4* f) {
  return f->isOpen() && !f->isReadOnly && f->accessMode == OPEN4DENY_NONE;
}

int file4lockAttempts(FILE4* f, uint64_t offset, uint64_t length, int attempts) {
  CODE4* c = f->codeBase;
  if (error4code(c) < 0) return e4codeBase;
  if (length == 0 || !file4locksNeeded(f)) return 0;
  if (attempts == 0) attempts = 1;
  for (int tried = 1;; ++tried) {
    int err = f->handle->lock(offset, length);
    if (err == 0) return 0;
    if (err != EWOULDBLOCK) return error4describe(c, e4lock, 0, f->name.c_str());
    if (attempts > 0 && tried >= attempts) return r4locked;
    platformClock().sleepMs(int64_t(c->lockDelay) * 10);
  }
}

int file4lock(FILE4* f, uint64_t offset, uint64_t length) {
  return file4lockAttempts(f, offset, length, f->codeBase->lockAttempts);
}

int file4unlock(FILE4* f, uint64_t offset, uint64_t length) {
  if (length == 0 || !file4locksNeeded(f)) return 0;
  if (f->handle->unlock(offset, length) != 0)
    return error4describe(f->codeBase, e4unlock, 0, f->name.c_str());
  return 0;
}
