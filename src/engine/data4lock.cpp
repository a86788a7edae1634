// Record, append and file locks of data handles.
//
// Locks taken are remembered in the data file (recordLocks ordered by
// record number, appendLockOwner, fileLockOwner) with the handle that owns
// them. All handles of one data file share one open file, so the operating
// system sees one owner: conflicts between handles of this process are
// settled here, from those lists (result 50, as another process would get).
// Because the file lock's range covers the record and append bytes, a
// record byte is never released while a file lock is held, and releasing
// the file lock takes the remaining record and append bytes again.
#include <algorithm>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/lock_offsets.h"

namespace {

bool highScheme(const DATA4FILE* f) { return f->vfp || (f->header.flags & 0x01) != 0; }

std::vector<LOCK4RECORD>::iterator findLock(DATA4FILE* f, int32_t recNo) {
  return std::lower_bound(f->recordLocks.begin(), f->recordLocks.end(), recNo,
                          [](const LOCK4RECORD& l, int32_t r) { return l.recNo < r; });
}

// Locks held elsewhere in this process give 50, or -50 when the caller
// would wait for ever (it would wait on itself).
int heldByOther(DATA4* d) {
  if (d->codeBase->lockAttempts == -1)
    return error4describe(d->codeBase, e4lock, 0, d->dataFile->file.name.c_str());
  return r4locked;
}

// The unlockBeforeLock rule applied before a new lock.
int unlockBeforeLock(DATA4* d) {
  CODE4* c = d->codeBase;
  if (c->unlockBeforeLock == 1) {
    int rc = 0;
    for (auto& h : c->dataHandles) {
      int r = d4unlock(h.get());
      if (r < 0 && rc == 0) rc = r;
    }
    return rc;
  }
  if (c->unlockBeforeLock == 2) {
    int r = d4unlock(d);
    return r < 0 ? r : 0;
  }
  return 0;
}

}  // namespace

uint64_t d4lockOffset(const DATA4FILE* f, int32_t recNo) {
  if (highScheme(f)) return kDataLockHighBase - static_cast<uint64_t>(recNo);
  if (recNo == 0) return kDataLockLowBase;
  return kDataLockLowBase + f->header.headerLength +
         static_cast<uint64_t>(recNo - 1) * f->header.recordLength;
}

bool data4countIsCached(const DATA4FILE* f) {
  return f->accessMode != OPEN4DENY_NONE || f->appendLockOwner != nullptr ||
         f->fileLockOwner != nullptr;
}

bool d4lockTest(const DATA4* d, int32_t recNo) {
  const DATA4FILE* f = d->dataFile;
  if (f->fileLockOwner == d) return true;
  for (const LOCK4RECORD& l : f->recordLocks)
    if (l.recNo == recNo) return l.owner == d;
  return false;
}

bool d4lockTestAppend(const DATA4* d) {
  return d->dataFile->appendLockOwner == d || d->dataFile->fileLockOwner == d;
}

bool d4lockTestFile(const DATA4* d) { return d->dataFile->fileLockOwner == d; }

int data4lockRecordLow(DATA4* d, int32_t recNo) {
  DATA4FILE* f = d->dataFile;
  if (f->fileLockOwner == d) return 0;
  if (f->fileLockOwner != nullptr) return heldByOther(d);
  auto it = findLock(f, recNo);
  if (it != f->recordLocks.end() && it->recNo == recNo) return it->owner == d ? 0 : heldByOther(d);
  int rc = file4lock(&f->file, d4lockOffset(f, recNo), kLockByteLength);
  if (rc != 0) return rc;
  f->recordLocks.insert(findLock(f, recNo), LOCK4RECORD{recNo, d});
  return 0;
}

int data4unlockRecordLow(DATA4* d, int32_t recNo) {
  DATA4FILE* f = d->dataFile;
  auto it = findLock(f, recNo);
  if (it == f->recordLocks.end() || it->recNo != recNo || it->owner != d) return 0;
  f->recordLocks.erase(it);
  if (f->fileLockOwner != nullptr) return 0;
  return file4unlock(&f->file, d4lockOffset(f, recNo), kLockByteLength);
}

int d4lock(DATA4* d, int32_t recNo) {
  if (int rc = d4check(d)) return rc;
  if (recNo < 1) return error4(d->codeBase, e4parm, 0);
  DATA4FILE* f = d->dataFile;
  if (d4lockTest(d, recNo)) return 0;
  if (f->fileLockOwner != nullptr) return heldByOther(d);
  int rc = unlockBeforeLock(d);
  if (rc < 0) return rc;
  return data4lockRecordLow(d, recNo);
}

int d4lockAppend(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  DATA4FILE* f = d->dataFile;
  if (d4lockTestAppend(d)) return 0;
  if (f->appendLockOwner != nullptr || f->fileLockOwner != nullptr) return heldByOther(d);
  int rc = unlockBeforeLock(d);
  if (rc < 0) return rc;
  rc = file4lock(&f->file, d4lockOffset(f, 0), kLockByteLength);
  if (rc != 0) return rc;
  f->appendLockOwner = d;
  f->recCount = -1;  // reread from the header now that appends are ours
  return 0;
}

int d4lockFile(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  DATA4FILE* f = d->dataFile;
  if (f->fileLockOwner == d) return 0;
  if (f->fileLockOwner != nullptr) return heldByOther(d);
  for (const LOCK4RECORD& l : f->recordLocks)
    if (l.owner != d) return heldByOther(d);
  if (f->appendLockOwner != nullptr && f->appendLockOwner != d) return heldByOther(d);
  int rc = unlockBeforeLock(d);
  if (rc < 0) return rc;
  rc = file4lock(&f->file, kDataFileLockOffset, kDataFileLockLength);
  if (rc != 0) return rc;
  f->fileLockOwner = d;
  f->recCount = -1;
  return 0;
}

int d4unlockRecords(DATA4* d) {
  DATA4FILE* f = d->dataFile;
  bool any = false;
  int rc = 0;
  for (size_t i = f->recordLocks.size(); i-- > 0;) {
    if (f->recordLocks[i].owner != d) continue;
    any = true;
    int r = data4unlockRecordLow(d, f->recordLocks[i].recNo);
    if (r < 0 && rc == 0) rc = r;
  }
  if (rc < 0) return rc;
  return any ? 0 : r4unlocked;
}

int d4unlockAppend(DATA4* d) {
  DATA4FILE* f = d->dataFile;
  if (f->appendLockOwner != d) return r4unlocked;
  int rc = f->headerPending ? d4writeHeader(f) : 0;
  f->appendLockOwner = nullptr;
  int r = f->fileLockOwner != nullptr ? 0 : file4unlock(&f->file, d4lockOffset(f, 0), kLockByteLength);
  if (!data4countIsCached(f)) f->recCount = -1;
  d->appendedRec = 0;
  return rc < 0 ? rc : r;
}

int d4unlockFile(DATA4* d) {
  DATA4FILE* f = d->dataFile;
  if (f->fileLockOwner != d) return r4unlocked;
  int rc = f->headerPending ? d4writeHeader(f) : 0;
  f->fileLockOwner = nullptr;
  int r = file4unlock(&f->file, kDataFileLockOffset, kDataFileLockLength);
  // The file lock's range covered the bytes still listed; take them again.
  for (const LOCK4RECORD& l : f->recordLocks)
    if (r == 0) r = file4lockAttempts(&f->file, d4lockOffset(f, l.recNo), kLockByteLength, 1);
  if (r == 0 && f->appendLockOwner != nullptr)
    r = file4lockAttempts(&f->file, d4lockOffset(f, 0), kLockByteLength, 1);
  if (!data4countIsCached(f)) f->recCount = -1;
  if (rc < 0) return rc;
  return r > 0 ? error4describe(d->codeBase, e4lock, 0, f->file.name.c_str()) : r;
}

namespace {

// The usual end of an append: this handle holds the append lock and the new
// record's lock, and this process holds no other lock on the file. No
// other byte between the two is locked through our open file, so one
// unlock of the range between them releases both.
bool holdsOnlyAppendAndOneRecord(const DATA4* d) {
  const DATA4FILE* f = d->dataFile;
  return f->fileLockOwner == nullptr && f->appendLockOwner == d && f->recordLocks.size() == 1 &&
         f->recordLocks[0].owner == d;
}

int unlockAppendAndRecord(DATA4* d) {
  DATA4FILE* f = d->dataFile;
  int rc = f->headerPending ? d4writeHeader(f) : 0;
  uint64_t a = d4lockOffset(f, 0), r = d4lockOffset(f, f->recordLocks[0].recNo);
  f->appendLockOwner = nullptr;
  f->recordLocks.clear();
  int u = file4unlock(&f->file, std::min(a, r), std::max(a, r) - std::min(a, r) + kLockByteLength);
  if (!data4countIsCached(f)) f->recCount = -1;
  d->appendedRec = 0;
  return rc < 0 ? rc : u;
}

}  // namespace

int d4unlock(DATA4* d) {
  if (holdsOnlyAppendAndOneRecord(d)) return unlockAppendAndRecord(d);
  int a = d4unlockAppend(d);
  int f = d4unlockFile(d);
  int r = d4unlockRecords(d);
  for (int rc : {a, f, r})
    if (rc < 0) return rc;
  return (a == 0 || f == 0 || r == 0) ? 0 : r4unlocked;
}
