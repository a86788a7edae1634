// Changing records: d4write, d4append and their helpers, the pending
// record write, d4flush and the header rewrite.
//
// Order of a record write (d4write), chosen so that a failure at any step
// leaves the file consistent for every other reader:
//   lock record -> keys (index module) -> memo entries -> record bytes
// Memo entries are written before the record that references them, so a
// failed memo write leaves the old reference in place; new entries are
// allocated, never overwritten, unless they fit the record's own entry.
//
// Order of an append (d4append):
//   append lock + lock of count + 1 -> keys -> memo entries ->
//   record bytes (+ 0x1A) -> header count
// The header count is written last: until it is, other readers do not see
// the record, and a failure leaves at most a partial record past the
// counted ones, which d4open tolerates (and cuts off when not shared).
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/date4.h"
#include "engine/index4.h"
#include "engine/index4_hooks.h"

namespace {

int writeError(DATA4* d) {
  return error4describe(d->codeBase, e4write, loc4writeReadOnly, d->dataFile->file.name.c_str());
}

int changeCheck(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  if (d->codeBase->lockEnforce && d->recNum > 0 && !d4lockTest(d, d->recNum))
    return error4describe(d->codeBase, e4lock, 0, d->dataFile->file.name.c_str(),
                          "record not locked");
  return 0;
}

}  // namespace

int d4writeHeader(DATA4FILE* f) {
  int y, m, day;
  date4todayParts(&y, &m, &day);
  f->header.year = static_cast<uint8_t>(y % 100);
  f->header.month = static_cast<uint8_t>(m);
  f->header.day = static_cast<uint8_t>(day);
  uint8_t image[kDbfHeaderSize];
  bool countKnown = f->recCount >= 0 && data4countIsCached(f);
  if (!dbf4encodeHeader(f->header, coding4::MutableBytes(image, sizeof image)) ||
      (countKnown && !coding4::putLe(coding4::MutableBytes(image, sizeof image), 4, uint32_t(f->recCount))))
    return error4describe(f->codeBase, e4result, 0, f->file.name.c_str());
  int rc = file4write(&f->file, 0, image, countKnown ? 10 : 4);
  if (rc == 0) f->headerPending = false;
  return rc;
}

int d4updateRecord(DATA4* d, bool unlock) {
  if (int rc = d4check(d)) return rc;
  if (!d->recordChanged) {
    data4memosReset(d);
    return 0;
  }
  if (d->recNum <= 0 || d->eofFlag) return 0;
  return d4write(d, d->recNum, unlock);
}

int d4write(DATA4* d, int32_t recNo, bool unlock) {
  if (int rc = d4check(d)) return rc;
  CODE4* c = d->codeBase;
  DATA4FILE* f = d->dataFile;
  if (recNo < -1 || recNo == 0) return error4(c, e4parm, 0);
  if (recNo == -1) recNo = d->recNum;
  if (recNo <= 0) return error4(c, e4parm, 0);
  if (d->readOnly || f->readOnly) return writeError(d);
  int rc = d4lock(d, recNo);
  if (rc != 0) return rc;
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  if (recNo > count && recNo != d->appendedRec)
    return error4describe(c, e4write, loc4write, f->file.name.c_str(), "record past the end");
  size_t len = f->header.recordLength;
  bool keysPending = false;
  if (index4hookMaintainsKeys(d)) {
    if (!d->oldValid || recNo != d->recNum) {
      rc = d4readOld(d, recNo);
      if (rc != 0) return rc;
    }
    if (memcmp(d->recordOld.data(), d->record.data(), len) != 0) {
      rc = index4hookWriteKeys(d, recNo, d->recordOld.data());
      if (rc != 0) return rc;
      keysPending = true;
    }
  }
  rc = data4memosWrite(d, false);
  if (rc == 0) {
    int64_t pos = int64_t(f->header.headerLength) + int64_t(recNo - 1) * int64_t(len);
    rc = file4write(&f->file, pos, d->record.data(), len);
  }
  if (keysPending) {
    int r = index4hookEndChange(d, rc == 0);
    if (rc == 0) rc = r;
  }
  if (rc != 0) return rc;
  f->fileChanged = true;
  if (recNo == d->recNum) {
    d->recordChanged = false;
    memcpy(d->recordOld.data(), d->record.data(), len);
    d->oldValid = true;
  }
  if (unlock && c->unlockBeforeLock != 0 && f->fileLockOwner != d) {
    int r = d4unlock(d);
    if (r < 0) return r;
  }
  return 0;
}

int d4appendStart(DATA4* d, int useMemo) {
  if (int rc = d4check(d)) return rc;
  int rc = d4updateRecord(d, true);
  if (rc != 0) return rc;
  for (FIELD4& fld : d->fields) {
    if (fld.memo == nullptr) continue;
    if (useMemo) {
      // The new record gets copies of the current memos as new entries.
      f4memoPtr(&fld);
      if (int e = error4code(d->codeBase); e < 0) return e;
      fld.memo->isChanged = !fld.memo->contents.empty();
    } else {
      fld.memo->contents.clear();
      fld.memo->isRead = true;
      fld.memo->isChanged = false;
    }
  }
  d->recNum = 0;  // the buffer now belongs to no record
  d->oldValid = false;
  return 0;
}

namespace {

// Takes the append lock and the new record's lock (step 1 of d4append).
int appendLocks(DATA4* d, int32_t* count) {
  DATA4FILE* f = d->dataFile;
  if (f->fileLockOwner == d) {
    *count = d4recCount(d);
    return *count < 0 ? *count : 0;
  }
  if (f->appendLockOwner == d) {
    *count = d4recCount(d);
    if (*count < 0) return *count;
    if (d4lockTest(d, *count + 1)) return 0;
  }
  int rc = d4lockAppend(d);
  if (rc != 0) return rc;
  f->recCount = -1;
  *count = d4recCount(d);
  if (*count < 0) return *count;
  return data4lockRecordLow(d, *count + 1);
}

}  // namespace

// A failed append holds no lock beyond itself either: another program
// appending would wait for our next operation. Its own failure is the one
// reported.
namespace {
void releaseAfterAppend(DATA4* d) {
  if (d->codeBase->unlockBeforeLock != 0 && d->dataFile->fileLockOwner != d) (void)d4unlock(d);
}
}  // namespace

int d4append(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  DATA4FILE* f = d->dataFile;
  if (d->readOnly || f->readOnly) return writeError(d);
  int32_t count = 0;
  int rc = appendLocks(d, &count);
  if (rc != 0) return rc;
  if (count >= 0x7FFFFFFE)
    return error4describe(d->codeBase, e4append, 0, f->file.name.c_str());
  int32_t recNo = count + 1;
  d->eofFlag = d->bofFlag = false;
  rc = index4hookAppendKeys(d, recNo);
  if (rc != 0) {
    data4unlockRecordLow(d, recNo);
    releaseAfterAppend(d);
    return rc;
  }
  rc = data4memosWrite(d, true);
  size_t len = f->header.recordLength;
  if (rc == 0) {
    // A FoxPro 2.x file ends with 0x1A after the last record.
    d->record[len] = kDbfEof;
    int64_t pos = int64_t(f->header.headerLength) + int64_t(count) * int64_t(len);
    rc = file4write(&f->file, pos, d->record.data(), f->vfp ? len : len + 1);
    d->record[len] = 0;
  }
  if (rc == 0) {
    f->recCount = recNo;
    f->header.recordCount = static_cast<uint32_t>(recNo);
    f->fileChanged = true;
    if (f->accessMode != OPEN4DENY_NONE) {
      f->headerPending = true;
    } else {
      rc = d4writeHeader(f);
      if (rc != 0) f->recCount = -1;  // the record is not counted on disk
    }
  }
  int r = index4hookEndChange(d, rc == 0);
  if (rc != 0) {
    data4unlockRecordLow(d, recNo);
    releaseAfterAppend(d);
    return rc;
  }
  d->recNum = recNo;
  d->appendedRec = recNo;
  d->recordChanged = false;
  memcpy(d->recordOld.data(), d->record.data(), len);
  d->oldValid = true;
  // Hold no lock beyond the append itself: another program appending to
  // this table would otherwise wait until our next operation.
  if (d->codeBase->unlockBeforeLock != 0 && f->fileLockOwner != d) {
    int u = d4unlock(d);
    if (u < 0 && r == 0) r = u;
  }
  return r;
}

int d4appendBlank(DATA4* d) {
  int rc = d4appendStart(d, 0);
  if (rc == 0) rc = d4blank(d);
  if (rc == 0) rc = d4append(d);
  return rc;
}

int d4blank(DATA4* d) {
  if (int rc = changeCheck(d)) return rc;
  memcpy(d->record.data(), d->recordBlank.data(), d->record.size());
  for (FIELD4& fld : d->fields) {
    if (fld.memo == nullptr) continue;
    fld.memo->contents.clear();
    fld.memo->isRead = true;
    fld.memo->isChanged = false;
  }
  d->recordChanged = true;
  return 0;
}

int d4delete(DATA4* d) {
  if (int rc = changeCheck(d)) return rc;
  d->record[0] = '*';
  d->recordChanged = true;
  return 0;
}

int d4recall(DATA4* d) {
  if (int rc = changeCheck(d)) return rc;
  d->record[0] = ' ';
  d->recordChanged = true;
  return 0;
}

int d4flush(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  int rc = d4updateRecord(d, false);
  if (rc != 0) return rc;
  DATA4FILE* f = d->dataFile;
  if (f->headerPending) {
    rc = d4writeHeader(f);
    if (rc != 0) return rc;
  }
  rc = index4hookFlush(d);
  if (rc != 0) return rc;
  // The index files go to the disk with the table: a table flushed without
  // them could come back from a power cut with records its index lacks.
  for (INDEX4FILE* x : f->indexFiles) {
    rc = file4flush(&x->file);
    if (rc != 0) return rc;
  }
  if (f->hasMemo) {
    rc = file4flush(&f->memo.file);
    if (rc != 0) return rc;
  }
  return file4flush(&f->file);
}
