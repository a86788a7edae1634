// Memo fields in the record cycle: reading a memo on first access after
// the record was loaded, assigning new contents, and writing changed memos
// before the record that references them.
#include <cstring>
#include <new>
#include <vector>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/num4.h"

namespace {

// Reads the memo of f for the current record when not yet read.
int memoLoad(FIELD4* f) {
  F4MEMO* m = f->memo;
  if (m->isRead) return 0;
  DATA4* d = f->data;
  CODE4* c = d->codeBase;
  if (int rc = d4check(d)) return rc;
  if (!d->dataFile->hasMemo) return error4describe(c, e4notMemo, 0, d->dataFile->file.name.c_str());
  if (c->readLock && d->recNum > 0 && !d->eofFlag && !d4lockTest(d, d->recNum)) {
    int rc = d4lock(d, d->recNum);
    if (rc != 0) return rc;
  }
  int64_t block = data4memoBlock(f);
  if (block < 0)
    return error4describe(c, e4memoCorrupt, 0, d->dataFile->memo.file.name.c_str(),
                          "bad memo reference", f->name);
  int rc = memo4fileRead(&d->dataFile->memo, block, &m->contents);
  if (rc != 0) {
    m->contents.clear();
    return rc;
  }
  m->isRead = true;
  return 0;
}

}  // namespace

int64_t data4memoBlock(const FIELD4* f) {
  const char* p = f->data->record.data() + f->offset;
  if (f->len == 4) {
    uint32_t v = 0;
    coding4::getLe(coding4::bytes(p, 4), 0, &v);
    return v;
  }
  size_t i = 0;
  while (i < f->len && (p[i] == ' ' || p[i] == 0)) ++i;
  if (i == f->len) return 0;
  int64_t v = 0;
  for (; i < f->len && p[i] != ' ' && p[i] != 0; ++i) {
    if (p[i] < '0' || p[i] > '9' || v > 0xFFFFFFFFll) return -1;
    v = v * 10 + (p[i] - '0');
  }
  return v;
}

void data4memoReference(FIELD4* f, int64_t block) {
  char* p = f->data->record.data() + f->offset;
  if (f->len == 4) {
    // Four bytes for four: the write cannot fall short.
    (void)coding4::putLe(coding4::bytes(p, 4), 0, static_cast<uint32_t>(block));
  } else if (block == 0) {
    memset(p, ' ', f->len);
  } else {
    num4formatLong(p, f->len, static_cast<long>(block));
  }
}

void data4memosReset(DATA4* d) {
  for (FIELD4& f : d->fields) {
    if (f.memo == nullptr) continue;
    f.memo->isRead = false;
    f.memo->isChanged = false;
    f.memo->contents.clear();
  }
}

int data4memosWrite(DATA4* d, bool appending) {
  std::vector<MEMO4WRITE> writes;
  writes.reserve(d->memos.size());
  for (FIELD4& f : d->fields) {
    if (f.memo == nullptr) continue;
    if (!f.memo->isChanged) {
      if (appending) {
        // A new record references no entry of another record.
        if (f.len == 4 && f4null(&f)) continue;
        data4memoReference(&f, 0);
      }
      continue;
    }
    if (!d->dataFile->hasMemo)
      return error4describe(d->codeBase, e4notMemo, 0, d->dataFile->file.name.c_str());
    int64_t block = appending ? 0 : data4memoBlock(&f);
    writes.push_back({block < 0 ? 0 : block, f.memo->contents});
  }
  if (writes.empty()) return 0;
  int rc = memo4fileWriteAll(&d->dataFile->memo, writes.data(), writes.size());
  if (rc != 0) return rc;
  // The changed fields again, in the order of their writes.
  size_t i = 0;
  for (FIELD4& f : d->fields) {
    if (f.memo == nullptr || !f.memo->isChanged) continue;
    data4memoReference(&f, writes[i++].block);
    f.memo->isChanged = false;
  }
  return 0;
}

const char* f4memoPtr(FIELD4* f) {
  if (f->memo == nullptr) return f4str(f);
  if (memoLoad(f) != 0) return "";
  return f->memo->contents.c_str();
}

const char* f4memoStr(FIELD4* f) { return f4memoPtr(f); }

unsigned long f4memoLen(FIELD4* f) {
  if (f->memo == nullptr) return f->len;
  if (memoLoad(f) != 0) return 0;
  return f->memo->contents.size();
}

unsigned f4memoNcpy(FIELD4* f, char* buffer, unsigned size) {
  if (size == 0) return 0;
  const char* p = f4memoPtr(f);
  unsigned long len = f->memo != nullptr ? f->memo->contents.size() : f->len;
  unsigned n = static_cast<unsigned>(len < size - 1 ? len : size - 1);
  memcpy(buffer, p, n);
  buffer[n] = 0;
  return n;
}

int f4memoAssignN(FIELD4* f, const char* text, size_t length) {
  if (f->memo == nullptr) return f4assignN(f, text, length);
  if (int rc = f4changeCheck(f)) return rc;
  F4MEMO* m = f->memo;
  try {
    m->contents.assign(text, length);
  } catch (const std::bad_alloc&) {
    m->contents.clear();
    return error4(f->data->codeBase, e4memory, 0);
  }
  m->isRead = true;
  m->isChanged = true;
  f4setNullBit(f, false);
  return 0;
}

int f4memoAssign(FIELD4* f, const char* text) {
  return f4memoAssignN(f, text, text ? strlen(text) : 0);
}

int f4memoFlush(FIELD4* f) {
  if (f->memo == nullptr || !f->memo->isChanged) return 0;
  DATA4* d = f->data;
  if (int rc = d4check(d)) return rc;
  if (d->recNum <= 0 || d->eofFlag) return 0;  // written with the append
  int64_t block = data4memoBlock(f);
  if (block < 0) block = 0;
  int rc = memo4fileWritePart(&d->dataFile->memo, &block, f->memo->contents);
  if (rc != 0) return rc;
  data4memoReference(f, block);
  f->memo->isChanged = false;
  d->recordChanged = true;
  return 0;
}
