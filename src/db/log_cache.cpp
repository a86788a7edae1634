#include "db/log_cache.h"

#include <algorithm>

LogCache& LogCache::shared() {
  static LogCache cache;
  return cache;
}

void LogCache::clear() {
  for (auto& l : lists_) l.clear();
  records_.clear();
}

std::vector<long>* LogCache::list(long status) {
  return status >= 0 && status < kLogStatusCount ? &lists_[static_cast<size_t>(status)] : nullptr;
}

void LogCache::addKey(long status, long key) {
  if (std::vector<long>* l = list(status)) l->push_back(key);
}

void LogCache::removeKey(long status, long key) {
  std::vector<long>* l = list(status);
  if (l == nullptr) return;
  auto it = std::find(l->begin(), l->end(), key);
  if (it != l->end()) l->erase(it);
}

std::shared_ptr<LogRecord> LogCache::find(long key) const {
  auto it = records_.find(key);
  return it == records_.end() ? nullptr : it->second;
}

void LogCache::put(long key, std::shared_ptr<LogRecord> record) {
  auto it = records_.find(key);
  if (it != records_.end()) {
    it->second = std::move(record);
    return;
  }
  if (records_.size() >= kCapacity) records_.erase(records_.begin());
  records_.emplace(key, std::move(record));
}
