// The Accounts page (settings_pages.h): accounts through the
// AccountsManager, the Select Requestors list from contacts.dbf.
#include "common/string_mapper.h"
#include "cycle/processing_cycle.h"
#include "db/accounts_manager.h"
#include "db/maintenance_lookups.h"
#include "mail/address.h"
#include "ui/settings_pages.h"

namespace {

PageResult failed(const Manager& manager) { return PageResult{false, manager.describe(), {}}; }

bool isDisabled(const FieldMap& account) { return (account.getNumber(kAccountFlags) & kAccountEnabled) == 0; }

}  // namespace

long flagsFromDetails(long flags, bool receiveAcknowledgements, bool disabled) {
  if (receiveAcknowledgements)
    flags |= kAccountReceivesAcks;
  else
    flags &= ~kAccountReceivesAcks;
  if (disabled)
    flags &= ~kAccountEnabled;
  else
    flags |= kAccountEnabled;
  return flags;
}

AccountsPage::AccountsPage(ProcessingCycle& cycle) : cycle_(cycle) {}

std::vector<AccountEntry> AccountsPage::list() {
  std::vector<AccountEntry> entries;
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  for (size_t i = 0; i < accounts.accountCount(); ++i) {
    std::optional<FieldMap> account = accounts.AccountAt(i);
    if (!account) continue;
    entries.push_back(AccountEntry{account->getNumber(kAccountContactKey), account->get(kAccountName),
                                   account->get(kAccountPhone), account->get(kAccountEmail), isDisabled(*account)});
  }
  return entries;
}

std::vector<ContactEntry> AccountsPage::contacts() {
  std::vector<ContactEntry> entries;
  for (const ContactRow& row : listContactsByName(cycle_.maintenance()))
    entries.push_back(ContactEntry{row.key, row.name, row.phone, row.email});
  return entries;
}

AccountDetails AccountsPage::details(long contactKey) {
  AccountDetails d;
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  std::optional<FieldMap> account;
  if (contactKey == 0)
    account = accounts.GetEverybody();
  else
    account = accounts.GetAccount(contactKey);
  if (!account) return d;
  d.found = true;
  d.contactKey = contactKey;
  d.description = accounts.DescribeAccount(*account, kAllAccountFields, true);
  d.receiveAcknowledgements = (account->getNumber(kAccountFlags) & kAccountReceivesAcks) != 0;
  d.disabled = isDisabled(*account);
  return d;
}

PageResult AccountsPage::add(const std::vector<long>& contactKeys) {
  std::vector<ContactEntry> all = contacts();
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  PageResult result;
  auto refuse = [&](const stringT& line) {
    result.ok = false;
    result.message = result.message.empty() ? line : result.message + "\r\n" + line;
  };
  for (long key : contactKeys) {
    const ContactEntry* contact = nullptr;
    for (const ContactEntry& c : all)
      if (c.key == key) contact = &c;
    if (!contact) continue;
    int position = validateAddress(contact->email, static_cast<int>(contact->email.size()));
    if (position != kAddressAccepted) {
      refuse(stringT::format(translateFormat("*Invalid E-mail Address: '%s' at position %d").c_str(),
                             contact->email.c_str(), position));
      continue;
    }
    FieldMap record;
    record.setNumber(kAccountContactKey, key);
    record.setNumber(kAccountFlags, kAccountEnabled | kAccountReceivesAcks);
    if (accounts.Append(record) != 0) refuse(accounts.describe());
  }
  return result;
}

PageResult AccountsPage::edit(long contactKey, bool receiveAcknowledgements, bool disabled) {
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  if (contactKey == 0) {
    FieldMap everybody = accounts.GetEverybody();
    everybody.setNumber(kAccountFlags,
                        flagsFromDetails(everybody.getNumber(kAccountFlags), receiveAcknowledgements, disabled));
    if (accounts.SaveEverybody(everybody) != 0) return failed(accounts);
    return PageResult{};
  }
  std::optional<FieldMap> account = accounts.GetAccount(contactKey);
  if (!account) return failed(accounts);
  account->setNumber(kAccountFlags,
                     flagsFromDetails(account->getNumber(kAccountFlags), receiveAcknowledgements, disabled));
  if (accounts.Update(*account, kAccountFlags) != 0) return failed(accounts);
  return PageResult{};
}

PageResult AccountsPage::setDisabled(const std::vector<long>& contactKeys, bool disabled) {
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  for (long key : contactKeys) {
    std::optional<FieldMap> account = accounts.GetAccount(key);
    if (!account) return failed(accounts);
    long flags = account->getNumber(kAccountFlags);
    account->setNumber(kAccountFlags, disabled ? (flags & ~kAccountEnabled) : (flags | kAccountEnabled));
    if (accounts.Update(*account, kAccountFlags) != 0) return failed(accounts);
  }
  return PageResult{};
}

PageResult AccountsPage::remove(const std::vector<long>& contactKeys) {
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  for (long key : contactKeys)
    if (accounts.Remove(key) != 0) return failed(accounts);
  return PageResult{};
}
