// AccountCache: the accounts manager's state that lives once per process
// and is shared by every AccountsManager object: the contact list (the
// contact keys that have accounts, in CONTACTKEY order as loaded, new ones
// at the end) and the account cache (contact key -> account record, at
// most kCapacity records; when full, the smallest contact key makes room).
//
// One thread (the gateway thread).
#pragma once

#include <cstddef>
#include <map>
#include <vector>

#include "common/field_map.h"

class AccountCache {
 public:
  static constexpr size_t kCapacity = 256;

  static AccountCache& shared();

  void clear();
  const std::vector<long>& contacts() const { return contacts_; }
  // Appends contactKey unless the list already holds it.
  void addContact(long contactKey);
  // Removes the first occurrence of contactKey from the list and its record.
  void removeContact(long contactKey);

  const FieldMap* find(long contactKey) const;
  void put(long contactKey, const FieldMap& record);
  void erase(long contactKey) { records_.erase(contactKey); }
  size_t size() const { return records_.size(); }

 private:
  std::vector<long> contacts_;
  std::map<long, FieldMap> records_;
};
