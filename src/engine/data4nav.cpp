// Record navigation (d4go, d4skip, d4top, d4bottom, d4goEof) and the
// handle's status queries.
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/index4_hooks.h"

int d4check(const DATA4* d) { return error4code(d->codeBase) < 0 ? e4codeBase : 0; }

int32_t d4recCount(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  DATA4FILE* f = d->dataFile;
  if (f->recCount >= 0 && data4countIsCached(f)) return f->recCount;
  uint8_t bytes[4];
  int rc = file4readAll(&f->file, 4, bytes, sizeof bytes);
  if (rc != 0) return rc;
  uint32_t count = 0;
  coding4::getLe(coding4::Bytes(bytes, 4), 0, &count);
  if (count > 0x7FFFFFFE) return error4describe(d->codeBase, e4data, 0, f->file.name.c_str());
  f->header.recordCount = count;
  if (data4countIsCached(f)) f->recCount = static_cast<int32_t>(count);
  return static_cast<int32_t>(count);
}

namespace {

void blankPosition(DATA4* d, int32_t recNo) {
  memcpy(d->record.data(), d->recordBlank.data(), d->record.size());
  d->recNum = recNo;
  d->oldValid = false;
  data4memosReset(d);
}

int badGo(DATA4* d, int32_t recNo) {
  blankPosition(d, -1);
  if (!d->codeBase->errorOnBadGo) return r4entry;
  char text[32];
  snprintf(text, sizeof text, "record %d", static_cast<int>(recNo));
  return error4describe(d->codeBase, e4read, loc4read, d->dataFile->file.name.c_str(), text);
}

}  // namespace

int d4goData(DATA4* d, int32_t recNo) {
  if (int rc = d4check(d)) return rc;
  DATA4FILE* f = d->dataFile;
  if (recNo < 1 || (f->recCount >= 0 && data4countIsCached(f) && recNo > f->recCount))
    return badGo(d, recNo);
  size_t len = f->header.recordLength;
  int64_t pos = int64_t(f->header.headerLength) + int64_t(recNo - 1) * int64_t(len);
  int64_t n = file4read(&f->file, pos, d->record.data(), len);
  if (n < 0) return static_cast<int>(n);
  if (static_cast<size_t>(n) < len) return badGo(d, recNo);
  d->recNum = recNo;
  d->eofFlag = d->bofFlag = false;
  d->recordChanged = false;
  data4memosReset(d);
  // The old copy is exact only while no other process can change the record.
  d->oldValid = d4lockTest(d, recNo) || f->accessMode != OPEN4DENY_NONE;
  if (d->oldValid) memcpy(d->recordOld.data(), d->record.data(), len);
  return 0;
}

int d4readOld(DATA4* d, int32_t recNo) {
  DATA4FILE* f = d->dataFile;
  size_t len = f->header.recordLength;
  int64_t pos = int64_t(f->header.headerLength) + int64_t(recNo - 1) * int64_t(len);
  int rc = file4readAll(&f->file, pos, d->recordOld.data(), len);
  if (rc == 0) d->oldValid = true;
  return rc;
}

int d4go(DATA4* d, int32_t recNo) {
  if (int rc = d4check(d)) return rc;
  int rc = d4updateRecord(d, true);
  if (rc != 0) return rc;
  bool locked = false;
  if (d->codeBase->readLock && recNo >= 1 && !d4lockTest(d, recNo)) {
    rc = d4lock(d, recNo);
    if (rc != 0) return rc;
    locked = true;
  }
  rc = d4goData(d, recNo);
  if (rc != 0 && locked) data4unlockRecordLow(d, recNo);
  return rc;
}

int d4goEof(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  int rc = d4updateRecord(d, true);
  if (rc != 0) return rc;
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  blankPosition(d, count + 1);
  d->eofFlag = true;
  if (count == 0) d->bofFlag = true;
  return r4eof;
}

namespace {

int emptyFile(DATA4* d, int result) {
  blankPosition(d, 1);
  d->eofFlag = d->bofFlag = true;
  return result;
}

}  // namespace

int d4top(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  int rc = d4updateRecord(d, true);
  if (rc != 0) return rc;
  if (d->tagSelected != nullptr) return index4hookTop(d);
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  if (count == 0) return emptyFile(d, r4eof);
  return d4go(d, 1);
}

int d4bottom(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  int rc = d4updateRecord(d, true);
  if (rc != 0) return rc;
  if (d->tagSelected != nullptr) return index4hookBottom(d);
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  if (count == 0) return emptyFile(d, r4eof);
  return d4go(d, count);
}

int d4skip(DATA4* d, int32_t n) {
  if (int rc = d4check(d)) return rc;
  if (d->recNum <= 0) {
    if (!d->codeBase->errorOnSkip) return e4info;
    return error4describe(d->codeBase, e4info, 0, d->dataFile->file.name.c_str(),
                          "skip without a current record");
  }
  int rc = d4updateRecord(d, true);
  if (rc != 0) return rc;
  if (d->tagSelected != nullptr) return index4hookSkip(d, n);
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  if (count == 0) return emptyFile(d, n >= 0 ? r4eof : r4bof);
  int64_t target = int64_t(d->recNum) + n;
  if (target > count) {
    blankPosition(d, count + 1);
    d->eofFlag = true;
    return r4eof;
  }
  if (target < 1) {
    rc = d4go(d, 1);
    if (rc != 0) return rc;
    d->bofFlag = true;
    return r4bof;
  }
  return d4go(d, static_cast<int32_t>(target));
}

int d4refreshRecord(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  d->recordChanged = false;
  if (d->recNum < 1 || d->eofFlag) {
    data4memosReset(d);
    return 0;
  }
  return d4goData(d, d->recNum);
}

int32_t d4recNo(const DATA4* d) { return d->recNum; }
bool d4eof(const DATA4* d) { return d->eofFlag; }
bool d4bof(const DATA4* d) { return d->bofFlag; }
bool d4deleted(const DATA4* d) { return d->record[0] != ' '; }
char* d4record(DATA4* d) { return d->record.data(); }
unsigned d4recWidth(const DATA4* d) { return d->dataFile->header.recordLength; }
bool d4isVfp(const DATA4* d) { return d->dataFile->vfp; }
uint8_t d4codePage(const DATA4* d) { return d->dataFile->header.codePage; }

int d4changed(DATA4* d, int flag) {
  int old = d->recordChanged ? 1 : 0;
  if (flag >= 0) d->recordChanged = flag != 0;
  return old;
}

int d4numFields(const DATA4* d) {
  return static_cast<int>(d->fields.size()) - (d->nullFlags != nullptr ? 1 : 0);
}

const char* d4alias(const DATA4* d) { return d->alias.c_str(); }

void d4aliasSet(DATA4* d, std::string_view alias) { d->alias.assign(alias.substr(0, 32)); }

int d4fieldNumber(DATA4* d, std::string_view name) {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  int count = d4numFields(d);
  if (name.size() <= 10) {
    for (int i = 0; i < count; ++i) {
      const char* fn = d->fields[i].name;
      size_t k = 0;
      for (; k < name.size(); ++k) {
        char ch = name[k];
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        if (fn[k] != ch) break;
      }
      if (k == name.size() && fn[k] == 0) return i + 1;
    }
  }
  if (!d->codeBase->errorOnFieldName) return e4fieldName;
  std::string text(name);
  return error4describe(d->codeBase, e4fieldName, 0, text.c_str(),
                        d->dataFile->file.name.c_str());
}

FIELD4* d4field(DATA4* d, std::string_view name) {
  int n = d4fieldNumber(d, name);
  return n > 0 ? &d->fields[n - 1] : nullptr;
}

FIELD4* d4fieldJ(DATA4* d, int number) {
  if (number < 1 || number > d4numFields(d)) {
    error4(d->codeBase, e4parm, 0);
    return nullptr;
  }
  return &d->fields[number - 1];
}
