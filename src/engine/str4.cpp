// Text views: the operations every view shares (str4.h).
#include "engine/str4.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

bool isBlankOrNul(char ch) { return ch == ' ' || ch == '\0'; }

}  // namespace

int Str4::beginChange() {
  if (int rc = storageError()) return rc;
  return mayChange();
}

unsigned Str4::clampLen(size_t n) const {
  unsigned max = maximum();
  return n < max ? static_cast<unsigned>(n) : max;
}

const char* Str4::unshared(const char* p, size_t n, std::string& copy) const {
  const char* mine = ptr();
  if (p == nullptr || n == 0 || mine == nullptr) return p;
  auto a = reinterpret_cast<uintptr_t>(p);
  auto b = reinterpret_cast<uintptr_t>(mine);
  if (a < b + storageSize() && b < a + n) {
    copy.assign(p, n);
    return copy.data();
  }
  return p;
}

int Str4::sourceBytes(const Str4& s, const char** p, size_t* n) const {
  if (int rc = s.storageError()) return rc;
  *p = s.ptr();
  *n = s.len();
  return 0;
}

int Str4::assignBytes(const char* p, size_t n) {
  if (p == nullptr && n > 0) return e4parmNull;
  if (int rc = beginChange()) return rc;
  std::string copy;
  p = unshared(p, n, copy);
  if (resizable())
    if (int rc = setLen(clampLen(n))) return rc;
  size_t size = len();
  size_t k = n < size ? n : size;
  if (k > 0) memcpy(bytes(), p, k);
  if (size > k) memset(bytes() + k, ' ', size - k);
  changed();
  return 0;
}

int Str4::assign(const char* text) { return assignBytes(text, text ? strlen(text) : 0); }
int Str4::assign(const char* text, unsigned length) { return assignBytes(text, length); }

int Str4::assign(const Str4& source) {
  const char* p;
  size_t n;
  if (int rc = sourceBytes(source, &p, &n)) return rc;
  return assignBytes(p, n);
}

int Str4::addBytes(const char* p, size_t n) {
  if (p == nullptr && n > 0) return e4parmNull;
  if (int rc = beginChange()) return rc;
  std::string copy;
  p = unshared(p, n, copy);
  size_t old = len();
  if (resizable())
    if (int rc = setLen(clampLen(old + n))) return rc;
  size_t k = len() - old;
  if (k > n) k = n;
  if (k > 0) memcpy(bytes() + old, p, k);
  changed();
  return 0;
}

int Str4::add(const char* text) { return addBytes(text, text ? strlen(text) : 0); }

int Str4::add(const Str4& source) {
  const char* p;
  size_t n;
  if (int rc = sourceBytes(source, &p, &n)) return rc;
  return addBytes(p, n);
}

int Str4::beginChangeFrom(const Str4& source, const char** p, size_t* n, std::string& copy) {
  if (int rc = sourceBytes(source, p, n)) return rc;
  if (int rc = beginChange()) return rc;
  *p = unshared(*p, *n, copy);
  return 0;
}

int Str4::insert(const Str4& source, unsigned pos) {
  const char* p;
  size_t n;
  std::string copy;
  if (int rc = beginChangeFrom(source, &p, &n, copy)) return rc;
  size_t size = len();
  if (pos < size) {
    size_t k = n < size - pos ? n : size - pos;
    char* d = bytes();
    memmove(d + pos + k, d + pos, size - pos - k);
    if (k > 0) memcpy(d + pos, p, k);
  }
  changed();
  return 0;
}

int Str4::replace(const Str4& source, unsigned pos) {
  const char* p;
  size_t n;
  std::string copy;
  if (int rc = beginChangeFrom(source, &p, &n, copy)) return rc;
  size_t old = len();
  if (resizable() && size_t{pos} + n > old) {
    if (int rc = setLen(clampLen(size_t{pos} + n))) return rc;
    if (len() > old) memset(bytes() + old, ' ', len() - old);
  }
  size_t size = len();
  if (pos < size) {
    size_t k = n < size - pos ? n : size - pos;
    if (k > 0) memcpy(bytes() + pos, p, k);
  }
  changed();
  return 0;
}

int Str4::remove(unsigned pos, unsigned count) {
  if (int rc = beginChange()) return rc;
  size_t size = len();
  if (pos < size && count > 0) {
    size_t k = count < size - pos ? count : size - pos;
    char* d = bytes();
    memmove(d + pos, d + pos + k, size - pos - k);
    memset(d + size - k, ' ', k);
  }
  changed();
  return 0;
}

int Str4::fill(char ch) {
  if (int rc = beginChange()) return rc;
  if (len() > 0) memset(bytes(), ch, len());
  changed();
  return 0;
}

int Str4::pad(unsigned length) {
  if (int rc = beginChange()) return rc;
  size_t old = len();
  if (resizable() && length > old) {
    if (int rc = setLen(clampLen(length))) return rc;
    memset(bytes() + old, ' ', len() - old);
  }
  changed();
  return 0;
}

int Str4::trimRight() {
  if (int rc = beginChange()) return rc;
  size_t size = len(), k = size;
  const char* d = ptr();
  while (k > 0 && isBlankOrNul(d[k - 1])) --k;
  if (resizable()) {
    if (int rc = setLen(static_cast<unsigned>(k))) return rc;
  } else if (size > k) {
    memset(bytes() + k, ' ', size - k);
  }
  changed();
  return 0;
}

int Str4::trimLeft() {
  if (int rc = beginChange()) return rc;
  size_t size = len(), j = 0;
  char* d = bytes();
  while (j < size && isBlankOrNul(d[j])) ++j;
  if (j > 0) {
    memmove(d, d + j, size - j);
    if (resizable()) {
      if (int rc = setLen(static_cast<unsigned>(size - j))) return rc;
    } else {
      memset(d + size - j, ' ', j);
    }
  }
  changed();
  return 0;
}

int Str4::upper() { return changeCase('a', 'z', 'A' - 'a'); }

int Str4::lower() { return changeCase('A', 'Z', 'a' - 'A'); }

int Str4::changeCase(char first, char last, int shift) {
  if (int rc = beginChange()) return rc;
  char* d = bytes();
  for (size_t i = 0; i < len(); ++i)
    if (d[i] >= first && d[i] <= last) d[i] = static_cast<char>(d[i] + shift);
  changed();
  return 0;
}

Str4len Str4::trimmed() {
  const char* d = ptr();
  unsigned k = d ? len() : 0;
  while (k > 0 && isBlankOrNul(d[k - 1])) --k;
  return Str4len(d, k, this);
}

Str4len Str4::substr(unsigned pos, unsigned length) {
  const char* d = ptr();
  unsigned size = d ? len() : 0;
  if (pos > size) pos = size;
  if (length > size - pos) length = size - pos;
  return Str4len(d ? d + pos : nullptr, length, this);
}

Str4len::Str4len(const char* text) : Str4len(text, text ? static_cast<unsigned>(strlen(text)) : 0u) {}

int Str4len::storageError() const {
  if (owner_) return storageErrorOf(*owner_);
  return Str4::storageError();
}

int Str4len::mayChange() {
  if (readOnly_) return e4parm;
  return owner_ ? mayChangeOf(*owner_) : 0;
}

void Str4len::changed() {
  if (owner_) changedOf(*owner_);
}

int Str4max::setLen(unsigned n) {
  len_ = n <= cap_ ? n : cap_;
  return 0;
}

Str4flex& Str4flex::operator=(const Str4flex& other) {
  if (this != &other) buf_ = other.buf_;
  return *this;
}

int Str4flex::setLen(unsigned n) {
  try {
    buf_.resize(n, ' ');
  } catch (const std::bad_alloc&) {
    return e4memory;
  } catch (const std::length_error&) {
    return e4memory;
  }
  return 0;
}
