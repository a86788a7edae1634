#include "db/accounts_manager.h"

#include <memory>

#include "common/string_mapper.h"
#include "db/account_cache.h"
#include "db/maintenance_layouts.h"
#include "db/record_counter.h"
#include "engine/error4.h"
#include "table/db_lookup_link.h"

namespace {

constexpr const char* kNotFound = "*account not found";
constexpr const char* kContactMissing = "*Contact record is missing";
constexpr const char* kCantAppend = "*can't append to accounts table";
constexpr const char* kCantWrite = "*can't write to accounts table";
constexpr const char* kCantOpenContacts = "*can't open contacts table";
constexpr int32_t kPrototypeRecord = 1;

AccountCache& cache() { return AccountCache::shared(); }

const DBTableLayout& contactsTableLayout() {
  static const DBTableLayout layout = contactsLayout();
  return layout;
}

bool notFound(int rc) { return rc == r4after || rc == r4eof; }

}  // namespace

AccountsManager::AccountsManager(DatabaseContext& gateway, DatabaseContext& maintenance)
    : Manager(translate("*Accounts Manager")),
      maintenance_(maintenance),
      contacts_(maintenance, "contacts.dbf", kOpenReadOnly, &contactsTableLayout()),
      accounts_(gateway, kOpenExisting) {
  if (contacts_.isOpen()) (void)contacts_.selectTag(*contacts_.tag(kConTagKey));
  if (accounts_.isOpen())
    accounts_.addLink(std::make_unique<DBLookupLink>(accounts_, contacts_, "STR(CONTACTKEY,10,0)"));
}

int AccountsManager::notOpen() {
  int rc = accounts_.openResult();
  return setStatus(rc != 0 ? rc : e4struct, translate("*can't open accounts table"));
}

int AccountsManager::appendFailed(int rc) { return setStatus(rc != 0 ? rc : e4append, translate(kCantAppend)); }

int AccountsManager::Load() {
  cache().clear();
  if (!isOpen()) return notOpen();
  int rc = accounts_.selectTag(*accounts_.tag(kAccTagContactKey));
  if (rc == 0) rc = accounts_.top();
  while (rc == 0) {
    cache().addContact(accounts_.field(kAccContactKey)->asLong());
    rc = accounts_.skip(1);
  }
  int n = accounts_.selectNatural();
  if (rc != r4eof) {
    cache().clear();
    return setStatus(rc, translate("*can't read accounts table"));
  }
  return setStatus(n);
}

int AccountsManager::Find(long contactKey) {
  if (!isOpen()) return notOpen();
  int rc = accounts_.selectTag(*accounts_.tag(kAccTagContactKey));
  if (rc == 0) rc = accounts_.seekExact(static_cast<double>(contactKey));
  if (notFound(rc)) return setStatus(r4after, translate(kNotFound));
  if (rc != 0) return setStatus(rc, translate(kNotFound));
  rc = accounts_.performLinks();
  if (rc == 0) return setStatus(0);
  if (notFound(rc)) return dropOrphan(contactKey);
  return setStatus(rc, translate(kCantOpenContacts));
}

int AccountsManager::dropOrphan(long contactKey) {
  int rc = accounts_.markDeleted(true);
  if (rc == 0) rc = accounts_.commit();
  if (rc != 0) {
    discardRecordChanges(accounts_);
    return setStatus(rc, translate(kCantWrite));
  }
  cache().removeContact(contactKey);
  return setStatus(r4after, translate(kContactMissing));
}

FieldMap AccountsManager::readAccount() {
  FieldMap m;
  m.setNumber(kAccountContactKey, accounts_.field(kAccContactKey)->asLong());
  m.setNumber(kAccountKey, accounts_.field(kAccKey)->asLong());
  m.setNumber(kAccountFlags, accounts_.field(kAccFlags)->asLong());
  if (accounts_.performLinks() == 0 && !contacts_.noRecord() && contacts_.field(kConKey)->asLong() != 0) {
    m.set(kAccountName, contacts_.field(kConCode)->utf8Text());
    m.set(kAccountPhone, contacts_.field(kConBTel)->utf8Text());
    m.set(kAccountEmail, contacts_.field(kConEmail)->utf8Text());
    m.set(kAccountComments, contacts_.field(kConComment)->utf8Text());
  }
  return m;
}

std::optional<FieldMap> AccountsManager::GetAccount(long contactKey) {
  if (contactKey == 0) {
    setStatus(r4after, translate(kNotFound));
    return std::nullopt;
  }
  if (const FieldMap* cached = cache().find(contactKey)) {
    setStatus(0);
    return *cached;
  }
  if (Find(contactKey) != 0) return std::nullopt;
  FieldMap record = readAccount();
  cache().put(contactKey, record);
  return record;
}

std::optional<FieldMap> AccountsManager::AccountAt(size_t position) {
  const std::vector<long>& list = cache().contacts();
  if (position >= list.size()) {
    setStatus(r4after, translate(kNotFound));
    return std::nullopt;
  }
  return GetAccount(list[position]);
}

size_t AccountsManager::accountCount() const { return cache().contacts().size(); }

int AccountsManager::writeRow(const FieldMap& record, unsigned mask) {
  if (!isOpen()) return notOpen();
  if (accounts_.noRecord()) return setStatus(r4after, translate(kNotFound));
  int rc = 0;
  if (mask & kAccountContactKey) rc = accounts_.field(kAccContactKey)->assignLong(record.getNumber(kAccountContactKey));
  if (rc == 0 && (mask & kAccountFlags)) rc = accounts_.field(kAccFlags)->assignLong(record.getNumber(kAccountFlags));
  if (rc == 0) rc = accounts_.commit();
  if (rc != 0 && rc != r4uniqueContinue) {
    discardRecordChanges(accounts_);
    return setStatus(rc, translate(kCantWrite));
  }
  return setStatus(0);
}

int AccountsManager::Write(const FieldMap& record, unsigned mask) {
  if (isOpen() && accounts_.recordNumber() == kPrototypeRecord)
    return setStatus(e4parm, translate(kCantWrite));  // the Everybody account: SaveEverybody
  int rc = writeRow(record, mask);
  if (rc == 0) cache().put(accounts_.field(kAccContactKey)->asLong(), record);
  return rc;
}

int AccountsManager::Update(const FieldMap& record, unsigned mask) {
  int rc = Find(record.getNumber(kAccountContactKey));
  return rc != 0 ? rc : Write(record, mask);
}

int AccountsManager::Append(FieldMap& record) {
  long contactKey = record.getNumber(kAccountContactKey);
  int rc = Find(contactKey);
  if (rc == 0) return setStatus(r4after, translate("*Duplicate Contacts"));
  if (rc != r4after) return rc;  // could not tell: never risk a second account
  (void)accounts_.selectNatural();
  long k = 0;
  rc = takeCounterKey(accounts_, kAccKey, accounts_.tag(kAccTagKey), &k);
  if (rc != 0) return appendFailed(rc);
  rc = accounts_.appendStart(false);
  if (rc != 0) {
    discardRecordChanges(accounts_);
    return appendFailed(rc);
  }
  rc = accounts_.blankRecord();
  if (rc == 0) rc = accounts_.field(kAccKey)->assignLong(k);
  if (rc == 0) rc = accounts_.field(kAccContactKey)->assignLong(contactKey);
  if (rc == 0) rc = accounts_.field(kAccFlags)->assignLong(record.getNumber(kAccountFlags));
  if (rc == 0) rc = accounts_.commit();
  if (rc != 0 && rc != r4uniqueContinue) {
    discardRecordChanges(accounts_);
    (void)giveBackCounterKey(accounts_, kAccKey, k);
    return appendFailed(rc);
  }
  record.setNumber(kAccountKey, k);
  cache().erase(contactKey);  // read whole (with the contact) on next use
  cache().addContact(contactKey);
  return setStatus(0);
}

int AccountsManager::Remove(long contactKey) {
  int rc = Find(contactKey);
  if (rc != 0) return rc;
  rc = accounts_.markDeleted(true);
  if (rc == 0) rc = accounts_.commit();
  if (rc != 0) {
    discardRecordChanges(accounts_);
    return setStatus(rc, translate(kCantWrite));
  }
  cache().removeContact(contactKey);
  return setStatus(0);
}

FieldMap AccountsManager::GetEverybody() {
  FieldMap m;
  int rc = isOpen() ? accounts_.go(kPrototypeRecord) : notOpen();
  if (rc == 0) {
    m = readAccount();
    setStatus(0);
  } else if (isOpen()) {
    setStatus(rc, translate("*can't read accounts table"));
  }
  m.set(kAccountName, translate("*Everybody"));
  return m;
}

int AccountsManager::SaveEverybody(const FieldMap& record) {
  if (!isOpen()) return notOpen();
  int rc = accounts_.go(kPrototypeRecord);
  if (rc != 0) return setStatus(rc, translate(kCantWrite));
  return writeRow(record, kAccountFlags);
}
