#include "db/record_counter.h"

#include "common/field_map.h"
#include "engine/data4.h"
#include "engine/error4.h"

namespace {

constexpr int32_t kPrototypeRecord = 1;
// A table with this many keys in use past the counter is not ours to fix.
constexpr int kMaxSkippedKeys = 100000;

int lockPrototype(DBTable& t) {
  if (!t.isOpen()) return e4struct;
  if (t.recordCount() < kPrototypeRecord) return r4eof;
  int rc = d4lock(t.data(), kPrototypeRecord);
  if (rc != 0) return rc;
  rc = t.go(kPrototypeRecord);  // read under the lock: the file's own bytes
  if (rc != 0) releaseTableLocks(t);
  return rc;
}

// The first key from k on that keyTag does not hold yet.
int firstFreeKey(DBTable& t, const DBTable::Ordering* keyTag, long* k) {
  const DBTable::Ordering* saved = t.ordering();
  int rc = t.selectTag(*keyTag);
  for (int n = 0; rc == 0; ++n) {
    int seek = t.seekExact(static_cast<double>(*k));
    if (seek == r4after || seek == r4eof) break;
    if (seek != 0) {
      rc = seek;
      break;
    }
    if (n == kMaxSkippedKeys) {
      rc = e4unique;
      break;
    }
    ++*k;
  }
  int r = saved != nullptr ? t.selectTag(*saved) : t.selectNatural();
  if (rc == 0) rc = r;
  if (rc == 0) rc = t.go(kPrototypeRecord);
  return rc;
}

}  // namespace

void releaseTableLocks(DBTable& t) {
  if (t.isOpen()) (void)d4unlock(t.data());
}

int takeCounterKey(DBTable& t, int keyField, const DBTable::Ordering* keyTag, long* key) {
  int rc = lockPrototype(t);
  if (rc != 0) return rc;
  DBField* f = t.field(keyField);
  long k = f->asLong();
  if (keyTag != nullptr) rc = firstFreeKey(t, keyTag, &k);
  if (rc == 0) rc = f->assignLong(k + 1);
  if (rc != 0) {
    releaseTableLocks(t);
    return rc;
  }
  *key = k;
  return 0;
}

int takeCounterField(DBTable& t, int field, long* value) {
  DBField* f = t.field(field);
  // A number in a character field is right-aligned; read it as text.
  long n = decimalValue(f->text().trim());
  *value = n;
  return f->assignLong(n + 1);
}

int giveBackCounterKey(DBTable& t, int keyField, long key) {
  int rc = lockPrototype(t);
  if (rc != 0) return rc;
  DBField* f = t.field(keyField);
  if (f->asLong() == key + 1) {
    rc = f->assignLong(key);
    if (rc == 0) rc = t.commit();
  }
  releaseTableLocks(t);
  return rc;
}

void discardRecordChanges(DBTable& t) {
  if (!t.isOpen()) return;
  (void)d4changed(t.data(), 0);
  releaseTableLocks(t);
}

int assignText(DBField& f, const stringT& text) { return text.empty() ? f.blank() : f.assign(text); }
