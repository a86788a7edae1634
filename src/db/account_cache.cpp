#include "db/account_cache.h"

#include <algorithm>

AccountCache& AccountCache::shared() {
  static AccountCache cache;
  return cache;
}

void AccountCache::clear() {
  contacts_.clear();
  records_.clear();
}

void AccountCache::addContact(long contactKey) {
  if (std::find(contacts_.begin(), contacts_.end(), contactKey) == contacts_.end())
    contacts_.push_back(contactKey);
}

void AccountCache::removeContact(long contactKey) {
  auto it = std::find(contacts_.begin(), contacts_.end(), contactKey);
  if (it != contacts_.end()) contacts_.erase(it);
  records_.erase(contactKey);
}

const FieldMap* AccountCache::find(long contactKey) const {
  auto it = records_.find(contactKey);
  return it == records_.end() ? nullptr : &it->second;
}

void AccountCache::put(long contactKey, const FieldMap& record) {
  auto it = records_.find(contactKey);
  if (it != records_.end()) {
    it->second = record;
    return;
  }
  if (records_.size() >= kCapacity) records_.erase(records_.begin());
  records_.emplace(contactKey, record);
}
