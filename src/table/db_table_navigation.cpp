// DBTable: positions, navigation within the range, orderings and seeks.
//
// Keys. The range and the key comparisons work on index keys (i4key.h),
// which compare as unsigned bytes whatever the key type: the current
// record's key comes from the selected tag's key expression, a bound or a
// probe is converted with the tag's string-to-key or number-to-key rule. A
// character probe is compared over its own length (a partial key). Without
// a selected tag the key is the record number.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/i4key.h"
#include "engine/index4.h"
#include "table/database_context.h"
#include "table/db_table.h"

namespace {

TAG4* selectedTag(DATA4* d) { return d == nullptr ? nullptr : d4tagSelected(d); }

char keyType(TAG4* t) { return t->tagFile->keyType; }

// Compares key with probe; a character probe only over its own length.
int compareKeys(const std::string& key, const std::string& probe, bool partial) {
  size_t n = partial ? probe.size() : std::max(key.size(), probe.size());
  int c = std::memcmp(key.data(), probe.data(), std::min({n, key.size(), probe.size()}));
  if (c != 0) return c < 0 ? -1 : 1;
  size_t keyPart = std::min(n, key.size());
  size_t probePart = std::min(n, probe.size());
  return keyPart < probePart ? -1 : (keyPart > probePart ? 1 : 0);
}

double textNumber(const stringT& text) { return std::strtod(text.c_str(), nullptr); }

// A number as a character tag sees it: right-justified, ten wide.
std::string numberText(double x) { return stringT::format("%10.0f", x).str(); }

}  // namespace

bool DBTable::isValid() const { return true; }

int32_t DBTable::position() const {
  if (data_ == nullptr) return kPosNone;
  if (appending_) return kPosAfter;
  if (d4eof(data_)) return special_;
  int32_t r = d4recNo(data_);
  if (r < 0) return kPosNone;
  return r == 0 ? kPosZero : r;
}

int DBTable::rememberSpecial(int32_t special) {
  appending_ = false;
  if (data_ == nullptr) return e4struct;
  int rc = d4goEof(data_);
  special_ = special;
  return rc == r4eof ? 0 : rc;
}

int DBTable::setPosition(int32_t p) {
  if (p > 0) return go(p);
  switch (p) {
    case kPosUnset: return goUnset();
    case kPosBefore: return goBefore();
    default: return goAfter();
  }
}

int DBTable::goBefore() { return rememberSpecial(kPosBefore); }
int DBTable::goAfter() { return rememberSpecial(kPosAfter); }
int DBTable::goUnset() { return rememberSpecial(kPosUnset); }
int DBTable::goSpecial(int32_t special) { return rememberSpecial(special); }

int DBTable::go(int32_t recNo) {
  appending_ = false;
  if (data_ == nullptr) return e4struct;
  return d4go(data_, recNo);
}

int DBTable::top() {
  appending_ = false;
  if (data_ == nullptr) return e4struct;
  int rc = lower_.mode == kBoundNone ? d4top(data_) : seekKey(lower_, lower_.mode == kBoundExclusive);
  if (rc == 0 || rc == r4after) {
    if (rangeSide(currentKey()) == 0) return 0;
    rc = r4eof;
  }
  if (rc == r4eof) {
    int g = goAfter();
    return g != 0 ? g : r4eof;
  }
  return rc;
}

int DBTable::bottom() {
  appending_ = false;
  if (data_ == nullptr) return e4struct;
  int rc;
  if (upper_.mode == kBoundNone) {
    rc = d4bottom(data_);
  } else if (upper_.mode == kBoundInclusive) {
    rc = upper_.isNumber ? d4seekLastNumber(data_, upper_.number) : d4seekLastText(data_, upper_.text.c_str());
  } else {
    rc = seekKey(upper_, false);
    rc = rc == r4eof ? d4bottom(data_) : (rc == 0 || rc == r4after ? d4skip(data_, -1) : rc);
  }
  if (rc == 0 && !d4eof(data_) && !d4bof(data_) && rangeSide(currentKey()) == 0) return 0;
  if (rc >= 0 && rc != r4locked) {
    int g = goBefore();
    return g != 0 ? g : r4bof;
  }
  return rc;
}

int DBTable::checkAfterMove(int rc, int direction) {
  if (rc == r4eof) {
    int g = goAfter();
    return g != 0 ? g : r4eof;
  }
  if (rc == r4bof) {
    int g = goBefore();
    return g != 0 ? g : r4bof;
  }
  if (rc != 0) return rc;
  int side = rangeSide(currentKey());
  if (side == 0) return 0;
  return checkAfterMove(side > 0 || (side < 0 && direction > 0) ? r4eof : r4bof, direction);
}

int DBTable::skip(long count) {
  if (data_ == nullptr) return e4struct;
  int32_t p = position();
  if (p == kPosBefore || p == kPosAfter || p == kPosUnset || p == kPosNone || p == kPosZero) {
    if (count == 0) return 0;
    if (p == kPosBefore && count > 0) {
      int rc = top();
      if (rc != 0) return rc;
      --count;
    } else if (p == kPosAfter && count < 0) {
      int rc = bottom();
      if (rc != 0) return rc;
      ++count;
    } else {
      return checkAfterMove(count > 0 ? r4eof : r4bof, count > 0 ? 1 : -1);
    }
  }
  appending_ = false;
  int direction = count > 0 ? 1 : -1;
  for (; count != 0; count -= direction) {
    int rc = checkAfterMove(d4skip(data_, direction), direction);
    if (rc != 0) return rc;
  }
  return 0;
}

bool DBTable::isAfter() const { return data_ != nullptr && !appending_ && d4eof(data_) && special_ == kPosAfter; }
bool DBTable::isBefore() const { return data_ != nullptr && d4eof(data_) && special_ == kPosBefore; }
bool DBTable::isUnset() const { return data_ != nullptr && d4eof(data_) && special_ == kPosUnset; }
bool DBTable::atEof() const { return data_ == nullptr || d4eof(data_); }
bool DBTable::atBof() const { return data_ == nullptr || d4bof(data_); }
bool DBTable::noRecord() const { return data_ == nullptr || d4eof(data_) || d4recNo(data_) <= 0; }
int32_t DBTable::recordNumber() const { return data_ == nullptr ? kPosNone : d4recNo(data_); }
DATA4* DBTable::engineTable() const { return data_; }
CODE4* DBTable::engineSettings() const { return db_.engine(); }

bool DBTable::inRange() { return !noRecord() && rangeSide(currentKey()) == 0; }

int DBTable::selectNatural() {
  if (data_ != nullptr) d4tagSelect(data_, nullptr);
  ordering_ = nullptr;
  return 0;
}

int DBTable::selectOrdering(const Ordering* ordering) {
  if (ordering == nullptr) return selectNatural();
  if (dynamic_cast<const DBRecordOrdering*>(ordering) == nullptr) {
    db_.reportInternalError("DBTable::SelectOrdering -- not a DBRecordOrdering");
    return e4parm;
  }
  if (data_ == nullptr) return e4struct;
  d4tagSelect(data_, ordering->tag());
  ordering_ = ordering;
  return 0;
}

const DBTable::Ordering* DBTable::ordering() const { return ordering_; }
int DBTable::selectTag(const Ordering& ordering) { return selectOrdering(&ordering); }

// --- Keys and the range ---

std::string DBTable::currentKey() {
  TAG4* t = selectedTag(data_);
  if (t == nullptr) return i4key::fromDouble(d4recNo(data_));
  const char* key = nullptr;
  if (expr4key(t->expr, &key) != 0 || key == nullptr) return std::string();
  return std::string(key, static_cast<size_t>(t->tagFile->keyLen));
}

std::string DBTable::boundKey(const Bound& b) {
  TAG4* t = selectedTag(data_);
  if (t == nullptr) return i4key::fromDouble(b.isNumber ? b.number : textNumber(b.text));
  char type = keyType(t);
  if (!b.isNumber) return i4key::fromSeekText(type, b.text.view());
  std::string key;
  if (t4isNumeric(t) && i4key::fromNumber(type, b.number, key)) return key;
  return i4key::fromSeekText(type, numberText(b.number));
}

int DBTable::rangeSide(const std::string& key) {
  TAG4* t = selectedTag(data_);
  bool character = t != nullptr && keyType(t) == 'C';
  if (lower_.mode != kBoundNone) {
    int c = compareKeys(key, boundKey(lower_), character);
    if (c < 0 || (c == 0 && lower_.mode == kBoundExclusive)) return -1;
  }
  if (upper_.mode != kBoundNone) {
    int c = compareKeys(key, boundKey(upper_), character);
    if (c > 0 || (c == 0 && upper_.mode == kBoundExclusive)) return 1;
  }
  return 0;
}

void DBTable::clearUpper() { upper_ = Bound{}; }
void DBTable::setUpper(const stringT& text, int mode) { upper_ = Bound{mode, false, text, 0}; }
void DBTable::setUpper(double number, int mode) { upper_ = Bound{mode, true, stringT(), number}; }
void DBTable::clearLower() { lower_ = Bound{}; }
void DBTable::setLower(const stringT& text, int mode) { lower_ = Bound{mode, false, text, 0}; }
void DBTable::setLower(double number, int mode) { lower_ = Bound{mode, true, stringT(), number}; }

// --- Seeks ---

// Seeks the probe (past: the first key strictly after it) without the range.
int DBTable::seekKey(const Bound& probe, bool past) {
  appending_ = false;
  TAG4* t = selectedTag(data_);
  if (t == nullptr) {
    double x = probe.isNumber ? probe.number : textNumber(probe.text);
    return d4seekNumber(data_, past ? std::floor(x) + 1 : x);
  }
  if (!past) return probe.isNumber ? d4seekNumber(data_, probe.number) : d4seekText(data_, probe.text.c_str());
  char type = keyType(t);
  if (type == 'N' || type == 'D') {
    double x = i4key::toDouble(boundKey(probe));
    return d4seekDouble(data_, std::nextafter(x, HUGE_VAL));
  }
  if (type == 'C') {
    std::string text = probe.isNumber ? numberText(probe.number) : probe.text.str();
    if (!i4key::increment(text)) return d4goEof(data_);
    return d4seek(data_, text.data(), static_cast<int>(text.size()));
  }
  // Other key types: seek the probe and step over equal keys.
  int rc = probe.isNumber ? d4seekNumber(data_, probe.number) : d4seekText(data_, probe.text.c_str());
  std::string key = boundKey(probe);
  while (rc == 0 && compareKeys(currentKey(), key, false) == 0) rc = d4skip(data_, 1);
  return rc;
}

int DBTable::afterSeek(int rc) {
  if (rc == 0 || rc == r4after) {
    if (rangeSide(currentKey()) == 0) return rc;
    rc = r4eof;
  }
  if (rc == r4eof) {
    int g = goAfter();
    return g != 0 ? g : r4eof;
  }
  return rc;
}

int DBTable::seek(const stringT& text) { return data_ ? afterSeek(seekKey(Bound{0, false, text, 0}, false)) : e4struct; }
int DBTable::seek(double number) { return data_ ? afterSeek(seekKey(Bound{0, true, stringT(), number}, false)) : e4struct; }
int DBTable::seekPast(const stringT& text) { return data_ ? afterSeek(seekKey(Bound{0, false, text, 0}, true)) : e4struct; }
int DBTable::seekPast(double number) { return data_ ? afterSeek(seekKey(Bound{0, true, stringT(), number}, true)) : e4struct; }

int DBTable::compareKey(const stringT& bytes) {
  if (noRecord()) return -1;
  TAG4* t = selectedTag(data_);
  bool character = t != nullptr && keyType(t) == 'C';
  return compareKeys(currentKey(), boundKey(Bound{0, false, bytes, 0}), character);
}

int DBTable::compareKey(const DBField& field) { return compareKey(field.raw()); }

int DBTable::compareKey(double number) {
  if (noRecord()) return -1;
  return compareKeys(currentKey(), boundKey(Bound{0, true, stringT(), number}), false);
}

int DBTable::seekExact(const stringT& text) {
  int rc = seek(text);
  if (rc == 0 && compareKey(text) != 0) return r4after;
  return rc;
}

int DBTable::seekExact(double number) {
  int rc = seek(number);
  if (rc == 0 && compareKey(number) != 0) return r4after;
  return rc;
}

int DBTable::keyText(DBField& into) {
  if (noRecord()) return into.blank();
  TAG4* t = selectedTag(data_);
  if (t == nullptr) return into.assignLong(d4recNo(data_));
  return into.assign(stringT(expr4str(t->expr)));
}

double DBTable::keyNumber() {
  if (noRecord()) return 0;
  TAG4* t = selectedTag(data_);
  if (t == nullptr) return d4recNo(data_);
  if (keyType(t) == 'N' || keyType(t) == 'D') return i4key::toDouble(currentKey());
  return std::strtod(expr4str(t->expr).c_str(), nullptr);
}

// --- Writing ---

int DBTable::appendStart(bool useMemo) {
  if (data_ == nullptr) return e4struct;
  int rc = d4appendStart(data_, useMemo ? 1 : 0);
  appending_ = rc == 0;
  special_ = kPosAfter;
  return rc;
}

int DBTable::commit() {
  if (data_ == nullptr) return e4struct;
  if (appending_) {
    appending_ = false;
    return d4append(data_);
  }
  if (noRecord()) return 0;
  return d4write(data_, -1);
}

int DBTable::flush() { return data_ ? d4flush(data_) : e4struct; }
int32_t DBTable::recordCount() const { return data_ ? d4recCount(data_) : e4struct; }
int DBTable::markDeleted(bool deleted) {
  if (data_ == nullptr) return e4struct;
  return deleted ? d4delete(data_) : d4recall(data_);
}
bool DBTable::isDeleted() const { return data_ != nullptr && !noRecord() && d4deleted(data_); }
int DBTable::blankRecord() { return data_ ? d4blank(data_) : e4struct; }
