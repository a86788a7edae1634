// Seeking through the selected tag, with the stale-entry check, and the
// seek wrappers the table layer uses.
//
// Stale entries. Without the file lock, another process may have appended
// records this process cannot see yet, or changed a record whose index entry
// is not yet consistent for us. After the tag seek, entries past our record
// count are skipped, and the record's key is recomputed and compared with
// the entry's key; on a difference the tag steps on and the check repeats.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/i4key.h"
#include "engine/index4.h"
#include "engine/tag4nav.h"

namespace {

int atEof(DATA4* d) {
  int rc = d4goEof(d);
  return rc < 0 ? rc : r4eof;
}

int seekKey(DATA4* d, TAG4* t, const std::string& key, int cmpLen) {
  int result = tag4::seek(t, key, cmpLen);
  if (result == r4eof) return atEof(d);
  if (result < 0) return result;
  bool stepped = false;
  bool fileLocked = d4lockTestFile(d);
  for (int guard = 0;; guard++) {
    int32_t count = d4recCount(d);
    if (count < 0) return count;
    if (t->recno == 0 || t->recno > uint32_t(count)) {
      long moved;
      int rc = tag4::skip(t, 1, &moved);
      if (rc == r4eof) return atEof(d);
      if (rc) return rc;
      stepped = true;
      continue;
    }
    int rc = d4goData(d, int32_t(t->recno));
    if (rc) return rc;
    if (fileLocked) break;
    const char* recKey;
    rc = expr4key(t->expr, &recKey);
    if (rc < 0) return rc;
    bool passes = true;
    if (t->filter) {
      int ok = expr4true(t->filter);
      if (ok < 0) return ok;
      passes = ok != 0;
    }
    if (passes && std::memcmp(recKey, t->key.data(), size_t(t->tagFile->keyLen)) == 0) {
      if (stepped) result = std::memcmp(recKey, key.data(), size_t(cmpLen)) == 0 ? 0 : r4after;
      return result;
    }
    long moved;
    rc = tag4::skip(t, 1, &moved);
    if (rc == r4eof) return atEof(d);
    if (rc) return rc;
    stepped = true;
  }
  if (stepped) result = std::memcmp(t->key.data(), key.data(), size_t(cmpLen)) == 0 ? 0 : r4after;
  return result;
}

TAG4* selectedOr80(DATA4* d, int* rc) {
  *rc = d4check(d);
  if (*rc) return nullptr;
  if (!d->tagSelected) {
    *rc = r4noTag;
    return nullptr;
  }
  *rc = d4updateRecord(d, false);
  return *rc ? nullptr : d->tagSelected;
}

int stepBackAfterSeek(DATA4* d, int rc) {
  if (rc == 0 || rc == r4after) return d4skip(d, -1);
  if (rc == r4eof) {
    rc = d4bottom(d);
    return rc == r4eof ? r4bof : rc;
  }
  return rc;
}

std::string numberText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%10.0f", v);
  return buf;
}

}  // namespace

bool t4isNumeric(const TAG4* t) {
  char type = expr4type(t->expr);
  return type == 'N' || type == 'n' || type == 'd';
}

int d4seek(DATA4* d, const char* text, int length) {
  int rc;
  TAG4* t = selectedOr80(d, &rc);
  if (!t) return rc;
  if (!text) return error4(d->codeBase, e4parmNull, 0);
  size_t len = length < 0 ? std::strlen(text) : size_t(length);
  if (len >= 240) return error4describe(d->codeBase, e4parmNull, 0, "d4seek");
  TAG4FILE* tf = t->tagFile;
  std::string key = i4key::fromSeekText(tf->keyType, std::string_view(text, len));
  int cmpLen = tf->keyLen;
  if (tf->keyType == 'C') {
    cmpLen = int(std::min<size_t>(len, size_t(tf->keyLen)));
    key.resize(size_t(tf->keyLen), char(tf->fill));
  }
  return seekKey(d, t, key, cmpLen);
}

int d4seekDouble(DATA4* d, double value) {
  int rc;
  TAG4* t = selectedOr80(d, &rc);
  if (!t) return rc;
  std::string key;
  if (!i4key::fromNumber(t->tagFile->keyType, value, key))
    return error4describe(d->codeBase, e4seek, 0, "Attempt to perform a d4seekDouble() on non-numeric tag");
  return seekKey(d, t, key, t->tagFile->keyLen);
}

int d4seekText(DATA4* d, const char* text) {
  if (d->tagSelected && t4isNumeric(d->tagSelected)) {
    std::string t(text ? text : "");
    return d4seekDouble(d, std::strtod(t.substr(0, 49).c_str(), nullptr));
  }
  return d4seek(d, text);
}

int d4seekNumber(DATA4* d, double value) {
  if (!d->tagSelected) {
    if (int rc = d4check(d)) return rc;
    double r = std::ceil(value);
    if (r < 1) r = 1;
    int32_t count = d4recCount(d);
    if (count < 0) return count;
    if (r > count) return atEof(d);
    int rc = d4go(d, int32_t(r));
    if (rc) return rc;
    return r != value ? r4after : 0;
  }
  if (t4isNumeric(d->tagSelected)) return d4seekDouble(d, value);
  return d4seek(d, numberText(value).c_str());
}

int d4seekLastText(DATA4* d, const char* text) {
  int rc;
  TAG4* t = selectedOr80(d, &rc);
  if (!t) return rc;
  if (t4isNumeric(t)) {
    std::string s(text ? text : "");
    return d4seekLastNumber(d, std::strtod(s.substr(0, 49).c_str(), nullptr));
  }
  // Character (and date) tags: the next key after text, then one step back.
  std::string key(text ? text : "");
  if (!i4key::increment(key)) return r4eof;
  return stepBackAfterSeek(d, d4seek(d, key.data(), int(key.size())));
}

int d4seekLastNumber(DATA4* d, double value) {
  if (!d->tagSelected) {
    if (int rc = d4check(d)) return rc;
    double r = std::floor(value);
    int32_t count = d4recCount(d);
    if (count < 0) return count;
    if (r > count) r = count;
    if (r >= 1) return d4go(d, int32_t(r));
    int rc = d4goEof(d);
    return rc < 0 ? rc : r4bof;
  }
  if (t4isNumeric(d->tagSelected))
    return stepBackAfterSeek(d, d4seekDouble(d, std::nextafter(value, HUGE_VAL)));
  return d4seekLastText(d, numberText(value).c_str());
}
