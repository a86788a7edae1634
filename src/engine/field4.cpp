// Field access: descriptor values, raw and text reads, text assignment,
// blanking and the null flags. Numbers are in field4num.cpp, memos in
// memo4field.cpp.
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"

const char* f4name(const FIELD4* f) { return f->name; }

char f4type(const FIELD4* f) {
  if (f->type == 'F') return 'N';
  if (f->type == 'C' && f->binaryFlag) return 'Z';
  if (f->type == 'M' && f->binaryFlag) return 'X';
  return f->type;
}

unsigned f4len(const FIELD4* f) { return f->len; }
int f4decimals(const FIELD4* f) { return f->dec; }
bool f4isMemo(const FIELD4* f) { return f->memo != nullptr; }

char* f4ptr(FIELD4* f) { return f->data->record.data() + f->offset; }

const char* f4str(FIELD4* f) {
  std::string& buf = f->data->strBuffer;
  buf.assign(f4ptr(f), f->len);
  return buf.c_str();
}

bool f4true(const FIELD4* f) {
  char ch = f->data->record[f->offset];
  return ch == 'T' || ch == 't' || ch == 'Y' || ch == 'y';
}

bool f4null(const FIELD4* f) {
  const DATA4* d = f->data;
  if (!f->nullable || d->nullFlags == nullptr) return false;
  const char* flags = d->record.data() + d->nullFlags->offset;
  return (static_cast<uint8_t>(flags[f->nullBit / 8]) >> (f->nullBit % 8)) & 1;
}

void f4setNullBit(FIELD4* f, bool isNull) {
  DATA4* d = f->data;
  if (!f->nullable || d->nullFlags == nullptr) return;
  char* flags = d->record.data() + d->nullFlags->offset;
  uint8_t mask = static_cast<uint8_t>(1u << (f->nullBit % 8));
  uint8_t& byte = reinterpret_cast<uint8_t&>(flags[f->nullBit / 8]);
  byte = isNull ? (byte | mask) : (byte & ~mask);
}

void data4blankField(const FIELD4* fld, char* record) {
  memset(record + fld->offset, fld->binary || fld->system ? 0 : ' ', fld->len);
}

int f4changeCheck(FIELD4* f) {
  DATA4* d = f->data;
  CODE4* c = d->codeBase;
  if (error4code(c) < 0) return e4codeBase;
  if (c->lockEnforce && d->recNum > 0 && !d4lockTest(d, d->recNum))
    return error4describe(c, e4lock, 0, f->name, "record not locked");
  d->recordChanged = true;
  return 0;
}

int f4assignN(FIELD4* f, const char* text, size_t length) {
  if (int rc = f4changeCheck(f)) return rc;
  size_t n = length < f->len ? length : f->len;
  char* p = f4ptr(f);
  if (n > 0) memcpy(p, text, n);  // text may be null when empty
  memset(p + n, ' ', f->len - n);
  f4setNullBit(f, false);
  return 0;
}

int f4assign(FIELD4* f, const char* text) { return f4assignN(f, text, text ? strlen(text) : 0); }

int f4blank(FIELD4* f) {
  if (int rc = f4changeCheck(f)) return rc;
  data4blankField(f, f->data->record.data());
  if (f->memo != nullptr) {
    f->memo->contents.clear();
    f->memo->isRead = true;
    f->memo->isChanged = false;
  }
  return 0;
}

int f4assignNull(FIELD4* f) {
  if (int rc = f4changeCheck(f)) return rc;
  if (!f->nullable) return error4describe(f->data->codeBase, e4parm, 0, f->name, "not nullable");
  f4setNullBit(f, true);
  return 0;
}
