// The index side of the data-file operations: production index open and
// create, key maintenance on append and write (dropped on failure), flush, and
// navigation in tag order.
//
// Key maintenance. The data module holds the record's lock (and for an
// append the append lock). The index files are locked together once per
// change; each tag's old and new keys and filter results are compared and
// only changed entries are touched. A change lives in the node cache
// until the write-back, so a unique violation, any other failed
// key change or a failed record write drops the whole change from the cache
// (index4discardChanges) and the files keep what they held: no compensating
// insert or removal runs, none can fail. index4hookEndChange writes the
// changed nodes and releases the index locks.
#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/error4.h"
#include "engine/i4scan.h"
#include "engine/index4.h"
#include "engine/index4_hooks.h"
#include "engine/tag4nav.h"
#include "engine/tag4tree.h"

namespace {

// Gives d a view of every index file open on its data file (a handle opened
// without autoOpenIndex still has to maintain the keys others rely on).
int attachAll(DATA4* d) {
  for (INDEX4FILE* f : d->dataFile->indexFiles) {
    bool have = false;
    for (INDEX4* i : d->indexes) have = have || i->indexFile == f;
    if (have) continue;
    INDEX4* idx;
    int rc = i4attach(d, f, &idx);
    if (rc) return rc;
  }
  return 0;
}

using KeyState = KEY4STATE;

// Whether the current record passes t's filter (1 or 0), or an error.
int passesFilter(TAG4* t) { return t->filter ? expr4true(t->filter) : 1; }

int computeKey(TAG4* t, KeyState& out) {
  const char* key;
  int rc = expr4key(t->expr, &key);
  if (rc < 0) return rc;
  out.key.assign(key, size_t(t->tagFile->keyLen));
  return 0;
}

int evaluate(TAG4* t, KeyState& out) {
  int ok = passesFilter(t);
  if (ok < 0) return ok;
  out.passes = ok != 0;
  return out.passes ? computeKey(t, out) : 0;
}

int markFilterUse(TAG4FILE* tf) {
  if (tf->filterMarkWritten || tf->header.filterExpr.empty()) return 0;
  tf->filterMarkWritten = true;
  uint8_t zero = 0;
  return file4write(&tf->indexFile->file, int64_t(tf->headerPos) + 260, &zero, 1);
}

// Adds key for recno to t following its unique mode; records the change.
int addKey(INDEX4* idx, TAG4* t, const std::string& key, uint32_t recno) {
  TAG4FILE* tf = t->tagFile;
  bool duplicate = false;
  int rc = tag4::insert(tf, key, recno, tf->unique != 0 ? &duplicate : nullptr);
  if (rc) return rc;
  if (duplicate) {
    switch (tf->unique) {
      case r4uniqueContinue: return 0;
      case e4unique: case e4candidate:
        return error4describe(idx->data->codeBase, e4unique, 0, tf->alias.c_str(),
                              idx->indexFile->file.name.c_str());
      default: return r4unique;
    }
  }
  return markFilterUse(tf);
}

// A unique tag holds one record per key. When that record's entry goes,
// the first other record with the same key (and passing the filter) takes
// its place, so the tag keeps holding every key of the table.
int replaceUnique(INDEX4* idx, TAG4* t, const std::string& key, uint32_t removed) {
  DATA4* d = idx->data;
  if (t->expr->usesMemo || (t->filter && t->filter->usesMemo)) return 0;
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  uint32_t holder = 0;
  int rc = i4forEachRecord(d, 1, uint32_t(count), false, [&](uint32_t r) {
    if (r == removed) return 0;
    KeyState ks;
    int erc = evaluate(t, ks);
    if (erc) return erc;
    if (ks.passes && ks.key == key) {
      holder = r;
      return 1;
    }
    return 0;
  });
  if (rc < 0) return rc;
  if (holder == 0) return 0;
  return tag4::insert(t->tagFile, key, holder);
}

int removeKey(INDEX4* idx, TAG4* t, const std::string& key, uint32_t recno) {
  int rc = tag4::remove(t->tagFile, key, recno);
  if (rc < 0) return rc;
  if (rc != 0) return 0;  // an entry that was not there (a careless writer) is no error
  return t->tagFile->unique != 0 ? replaceUnique(idx, t, key, recno) : 0;
}

// Drops the change in progress from every index file of d's data file:
// nothing of it was written (the files are written only at unlock).
void discardChange(DATA4* d) {
  for (INDEX4FILE* f : d->dataFile->indexFiles) index4discardChanges(f);
}

void hintCount(DATA4* d, int32_t recNo) {
  for (INDEX4FILE* f : d->dataFile->indexFiles)
    f->recCountHint = std::max<uint32_t>({f->recCountHint, uint32_t(std::max(recNo, 0)),
                                          uint32_t(std::max(d->dataFile->recCount, 0))});
}

// Ends a key change that failed with rc: the change is dropped and the
// locks released (rc stays the result; a failed unlock is reported too).
int finishFailed(DATA4* d, int rc) {
  discardChange(d);
  int u = index4unlockAll(d->dataFile);
  if (u < 0 && rc >= 0) return u;
  return rc;
}

TAG4* selected(DATA4* d) { return d->tagSelected; }

// Reads the record of the tag's current entry, skipping entries past the
// record count (appended by others and not yet visible to us).
int readCurrent(DATA4* d, TAG4* t, int dir) {
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  while (t->recno > uint32_t(count) || t->recno == 0) {
    long moved;
    int rc = tag4::skip(t, dir, &moved);
    if (rc) return rc;
  }
  return d4goData(d, int32_t(t->recno));
}

}  // namespace

// A key or filter with the text of an earlier tag's takes that tag's
// result, and a filter extending an earlier one evaluates only its rest:
// tables index one field under several filters that share their first
// conditions. Filters that compare one number field with numbers read that
// field once.
int index4tagKeys(INDEX4* idx, std::vector<KEY4STATE>& states) {
  states.resize(idx->tags.size());
  for (size_t i = 0; i < idx->numberFields.size(); i++) idx->numberValues[i] = expr4numField(idx->numberFields[i]);
  // The tag's own filter, or the rest of one that extends another's.
  auto test = [idx](TAG4* t, EXPR4* e) {
    if (t->numberTest < 0) return expr4true(e);
    double value = idx->numberValues[size_t(t->numberTest)];
    return std::bit_cast<uint64_t>(value) == std::bit_cast<uint64_t>(t->number) ? 1 : 0;
  };
  for (size_t k = 0; k < idx->tags.size(); k++) {
    TAG4* t = idx->tags[k].get();
    KeyState& out = states[k];
    int ok;
    if (t->sameFilterAs >= 0)
      ok = states[size_t(t->sameFilterAs)].passes;
    else if (t->filterExtends >= 0)
      ok = states[size_t(t->filterExtends)].passes ? test(t, t->filterRest) : 0;
    else
      ok = t->filter ? test(t, t->filter) : 1;
    if (ok < 0) return ok;
    out.passes = ok != 0;
    if (!out.passes) continue;
    const KeyState* twin = t->sameKeyAs >= 0 ? &states[size_t(t->sameKeyAs)] : nullptr;
    if (twin && twin->passes) {
      out.key = twin->key;
      continue;
    }
    int rc = computeKey(t, out);
    if (rc) return rc;
  }
  return 0;
}

int index4hookOpenProduction(DATA4* d) {
  if (i4open(d, nullptr)) return 0;
  int rc = error4code(d->codeBase);
  return rc < 0 ? rc : error4describe(d->codeBase, e4index, 0, d->dataFile->file.name.c_str());
}

int index4hookCreateProduction(DATA4* d, const TAG4INFO* tags) {
  if (tags == nullptr || tags->name == nullptr) return 0;
  INDEX4* idx;
  return i4createResult(d, nullptr, tags, &idx);
}

int index4hookClose(DATA4* d) {
  int result = 0;
  while (!d->indexes.empty()) {
    int rc = i4close(d->indexes.back());
    if (rc < 0 && result == 0) result = rc;
  }
  return result;
}

bool index4hookMaintainsKeys(DATA4* d) { return !d->dataFile->indexFiles.empty(); }

int index4hookAppendKeys(DATA4* d, int32_t recNo) {
  if (d->dataFile->indexFiles.empty()) return 0;
  int rc = attachAll(d);
  if (rc) return rc;
  rc = index4lockAll(d->dataFile);
  if (rc) return rc;
  hintCount(d, recNo);
  int32_t savedRec = d->recNum;
  d->recNum = recNo;  // RECNO() in keys and filters means the new record
  for (INDEX4* idx : d->indexes) {
    rc = index4tagKeys(idx, idx->newKeys);
    for (size_t k = 0; rc == 0 && k < idx->tags.size(); k++)
      if (idx->newKeys[k].passes) rc = addKey(idx, idx->tags[k].get(), idx->newKeys[k].key, uint32_t(recNo));
    if (rc) {
      d->recNum = savedRec;
      return finishFailed(d, rc);
    }
  }
  d->recNum = savedRec;
  return 0;
}

int index4hookWriteKeys(DATA4* d, int32_t recNo, const char* oldRecord) {
  if (d->dataFile->indexFiles.empty()) return 0;
  size_t len = d->dataFile->header.recordLength;
  if (std::memcmp(oldRecord, d->record.data(), len) == 0) return 0;
  int rc = attachAll(d);
  if (rc) return rc;
  // Old and new keys of every tag, computed before anything is locked.
  std::vector<char> saved(d->record.begin(), d->record.end());
  int32_t savedRec = d->recNum;
  d->recNum = recNo;
  for (INDEX4* idx : d->indexes) {
    std::memcpy(d->record.data(), oldRecord, len);
    rc = index4tagKeys(idx, idx->oldKeys);
    std::memcpy(d->record.data(), saved.data(), len);
    if (rc == 0) rc = index4tagKeys(idx, idx->newKeys);
    if (rc) {
      d->recNum = savedRec;
      return rc;
    }
  }
  d->recNum = savedRec;
  bool locked = false;
  for (INDEX4* idx : d->indexes) {
    for (size_t k = 0; k < idx->tags.size(); k++) {
      const KeyState& oldS = idx->oldKeys[k];
      const KeyState& newS = idx->newKeys[k];
      if (oldS.passes == newS.passes && (!oldS.passes || oldS.key == newS.key)) continue;
      if (!locked) {
        rc = index4lockAll(d->dataFile);
        if (rc) return rc;
        locked = true;
        hintCount(d, recNo);
      }
      TAG4* t = idx->tags[k].get();
      if (oldS.passes) rc = removeKey(idx, t, oldS.key, uint32_t(recNo));
      if (rc == 0 && newS.passes) rc = addKey(idx, t, newS.key, uint32_t(recNo));
      if (rc) return finishFailed(d, rc);
    }
  }
  return 0;
}

int index4hookEndChange(DATA4* d, bool recordWritten) {
  if (!recordWritten) discardChange(d);
  bool anyLocked = false;
  for (INDEX4FILE* f : d->dataFile->indexFiles) anyLocked = anyLocked || f->lockHeld;
  return anyLocked ? index4unlockAll(d->dataFile) : 0;
}

int index4hookFlush(DATA4* d) {
  int result = 0;
  for (INDEX4FILE* f : d->dataFile->indexFiles) {
    if (!f->lockHeld || !f->changed) continue;
    int rc = index4writeChanges(f);
    if (rc && !result) result = rc;
  }
  return result;
}

int index4hookTop(DATA4* d) {
  TAG4* t = selected(d);
  int rc = tag4::top(t);
  if (rc == 0) rc = readCurrent(d, t, 1);
  if (rc == r4eof) {
    rc = d4goEof(d);
    d->bofFlag = true;
  }
  return rc;
}

int index4hookBottom(DATA4* d) {
  TAG4* t = selected(d);
  int rc = tag4::bottom(t);
  if (rc == 0) rc = readCurrent(d, t, -1);
  if (rc == r4eof) {
    rc = d4goEof(d);
    d->bofFlag = true;
  }
  return rc;
}

int index4hookSkip(DATA4* d, int32_t n) {
  TAG4* t = selected(d);
  int rc;
  if (d->eofFlag) {
    if (n >= 0) return r4eof;
    rc = index4hookBottom(d);
    if (rc) return rc;
    n++;
    if (n == 0) return 0;
  } else if (!t->positioned || t->recno != uint32_t(d->recNum)) {
    // The record or the tag moved since the last read: find the record's
    // entry from its key.
    KeyState ks;
    rc = evaluate(t, ks);
    if (rc) return rc;
    if (!ks.passes) ks.key.assign(size_t(t->tagFile->keyLen), char(t->tagFile->fill));
    rc = tag4::go(t, ks.key, uint32_t(d->recNum));
    if (rc == r4eof) {
      if (n >= 0) return d4goEof(d);
      rc = tag4::bottom(t);
      if (rc) return rc;
      n++;
    } else if (rc) {
      return rc;
    } else if (t->recno != uint32_t(d->recNum)) {
      // Already on the entry after the record's place (in file order).
      if (n > 0 && !t->tagFile->descending) n--;
      if (n < 0 && t->tagFile->descending) n++;
      if (n == 0) return readCurrent(d, t, 1);
    }
  }
  long moved = 0;
  rc = n == 0 ? 0 : tag4::skip(t, n, &moved);
  if (rc == r4eof) {
    if (n > 0) return d4goEof(d);
    rc = readCurrent(d, t, 1);
    if (rc) return rc;
    d->bofFlag = true;
    return r4bof;
  }
  if (rc) return rc;
  rc = readCurrent(d, t, n >= 0 ? 1 : -1);
  return rc == r4eof ? d4goEof(d) : rc;
}
