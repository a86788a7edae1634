#include "db/logs_manager.h"

#include "common/string_mapper.h"
#include "db/log_cache.h"
#include "db/record_counter.h"
#include "engine/error4.h"

namespace {

constexpr const char* kNotFound = "*log not found";
constexpr const char* kCantAppend = "*can't append to logs table";
constexpr const char* kCantOpen = "*can't open logs table";
constexpr const char* kCantRead = "*can't read logs table";
constexpr long kPrototypeKey = 1;

LogCache& cache() { return LogCache::shared(); }

}  // namespace

LogsManager::LogsManager(DatabaseContext& gateway)
    : Manager(translate("*Logs Manager")), table_(gateway, kOpenExisting) {}

int LogsManager::notOpen() {
  int rc = table_.openResult();
  return setStatus(rc != 0 ? rc : e4struct, translate(kCantOpen));
}

int LogsManager::Load() {
  cache().clear();
  if (!isOpen()) return notOpen();
  for (long s = 0; s < kLogStatusCount; ++s) {
    int rc = table_.selectTag(*table_.statusTag(static_cast<int>(s)));
    if (rc == 0) rc = table_.top();
    while (rc == 0) {
      cache().addKey(s, table_.field(kLogKey)->asLong());
      rc = table_.skip(1);
    }
    if (rc != r4eof) {
      cache().clear();
      (void)table_.selectNatural();
      return setStatus(rc, translate(kCantRead));
    }
  }
  return setStatus(table_.selectNatural());
}

int LogsManager::Find(long key) {
  if (!isOpen()) return notOpen();
  int rc = table_.selectTag(*table_.tag(kLogTagKey));
  if (rc == 0) rc = table_.seekExact(static_cast<double>(key));
  if (rc == 0) return setStatus(0);
  return setStatus(rc == r4after || rc == r4eof ? r4after : rc, translate(kNotFound));
}

std::shared_ptr<LogRecord> LogsManager::GetRecord(long key) {
  if (key == kPrototypeKey) {
    setStatus(r4after, translate(kNotFound));
    return nullptr;
  }
  if (std::shared_ptr<LogRecord> cached = cache().find(key)) {
    setStatus(0);
    return cached;
  }
  if (Find(key) != 0) return nullptr;
  auto record = std::make_shared<LogRecord>();
  readLogRow(table_, record.get());
  cache().put(key, record);
  return record;
}

std::shared_ptr<LogRecord> LogsManager::RecordAt(size_t position, long status) {
  const std::vector<long>* l = cache().list(status);
  if (l == nullptr || position >= l->size()) {
    setStatus(r4after, translate(kNotFound));
    return nullptr;
  }
  return GetRecord((*l)[position]);
}

size_t LogsManager::CountInStatus(long status) const {
  const std::vector<long>* l = cache().list(status);
  return l == nullptr ? 0 : l->size();
}

size_t LogsManager::CountAll() const {
  size_t n = 0;
  for (long s = 0; s < kLogStatusCount; ++s) n += CountInStatus(s);
  return n;
}

std::vector<long> LogsManager::KeysInStatus(long status) const {
  const std::vector<long>* l = cache().list(status);
  return l == nullptr ? std::vector<long>() : *l;
}

int LogsManager::appendFailed(int rc) {
  return setStatus(rc != 0 ? rc : e4append, translate(kCantAppend));
}

int LogsManager::Append(LogRecord& record) {
  if (!isOpen()) return appendFailed(table_.openResult());
  (void)table_.selectNatural();
  long k = 0;
  int rc = takeCounterKey(table_, kLogKey, table_.tag(kLogTagKey), &k);
  if (rc != 0) return appendFailed(rc);
  rc = table_.appendStart(false);
  if (rc != 0) {
    discardRecordChanges(table_);
    return appendFailed(rc);
  }
  rc = table_.blankRecord();
  if (rc == 0) rc = table_.field(kLogKey)->assignLong(k);
  record.setNumber(kLrKey, k);
  if (rc == 0) rc = writeLogRow(table_, record, kLrAllFields);
  if (rc == 0) rc = table_.commit();
  // 25: stored, its key left out of a unique tag; the row exists.
  if (rc != 0 && rc != r4uniqueContinue) {
    discardRecordChanges(table_);
    record.fields().erase(kLrKey);
    (void)giveBackCounterKey(table_, kLogKey, k);
    return appendFailed(rc);
  }
  cache().addKey(record.status(), k);
  return setStatus(0);
}

int LogsManager::Update(LogRecord& record, int number) {
  long key = record.key();
  int rc = Find(key);
  if (rc != 0) return rc;
  long before = table_.field(kLogStatus)->asLong();
  rc = writeLogRow(table_, record, number);
  if (rc == 0) rc = table_.commit();
  if (rc != 0 && rc != r4uniqueContinue) {
    discardRecordChanges(table_);
    // The caller's record no longer matches the row: read it anew next time.
    cache().erase(key);
    return setStatus(rc, translate("*can't write to logs table"));
  }
  long after = table_.field(kLogStatus)->asLong();
  if (before != after) {
    cache().removeKey(before, key);
    cache().addKey(after, key);
  }
  if (cache().find(key).get() != &record) cache().put(key, std::make_shared<LogRecord>(record));
  return setStatus(0);
}

int LogsManager::Remove(long key) {
  int rc = Find(key);
  if (rc != 0) return rc;
  long status = table_.field(kLogStatus)->asLong();
  rc = table_.markDeleted(true);
  if (rc == 0) rc = table_.commit();
  if (rc != 0) {
    discardRecordChanges(table_);
    return setStatus(rc, translate("*can't write to logs table"));
  }
  cache().removeKey(status, key);
  cache().erase(key);
  return setStatus(0);
}

int LogsManager::ChangeStatus(long key, long status) {
  std::shared_ptr<LogRecord> record = GetRecord(key);
  if (record == nullptr) return this->status();
  record->SetStatus(status);
  return Update(*record, kLrStatus);
}

long LogsManager::creatorOf(long requestKey) {
  long creator = 0;
  if (!table_.isOpen() || table_.selectNatural() != 0) return 0;
  for (int rc = table_.top(); rc == 0 && !table_.atEof(); rc = table_.skip(1)) {
    if (table_.recordNumber() <= 1 || table_.isDeleted()) continue;
    if (table_.field(kLogWrKey)->asLong() != requestKey) continue;
    if (table_.field(kLogStatus)->asLong() == kLogPendingAck) continue;
    long key = table_.field(kLogKey)->asLong();
    if (creator == 0 || key < creator) creator = key;
  }
  return creator;
}
