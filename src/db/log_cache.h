// LogCache: the logs manager's state that lives once per process and is
// shared by every LogsManager object: the ten key lists (one per log
// status, keys in the order found or added) and the record cache (log key
// -> LogRecord, at most kCapacity records; when full, the smallest key,
// the oldest log, makes room).
//
// Records are handed out as shared pointers, so a caller's record stays
// valid after the cache drops it; a change made to a cached record is
// seen by every later GetRecord until the record leaves the cache.
//
// One thread (the gateway thread).
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <vector>

#include "db/gateway_tables.h"
#include "db/log_record.h"

class LogCache {
 public:
  static constexpr size_t kCapacity = 512;

  static LogCache& shared();

  void clear();
  // The key list of status, or nullptr outside 0 to 9.
  std::vector<long>* list(long status);
  // Appends key to the list of status (ignored outside 0 to 9).
  void addKey(long status, long key);
  // Removes the first occurrence of key from the list of status.
  void removeKey(long status, long key);

  std::shared_ptr<LogRecord> find(long key) const;
  // Caches record under key, first dropping the smallest key when full.
  void put(long key, std::shared_ptr<LogRecord> record);
  void erase(long key) { records_.erase(key); }
  size_t size() const { return records_.size(); }

 private:
  std::array<std::vector<long>, kLogStatusCount> lists_;
  std::map<long, std::shared_ptr<LogRecord>> records_;
};
