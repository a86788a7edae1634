#include "cycle/sender_identity.h"

#include <string>

#include "db/accounts_manager.h"
#include "db/gateway_tables.h"
#include "db/logs_manager.h"
#include "mail/address.h"

namespace {

long enabledEverybodyFlags(AccountsManager& accounts) {
  FieldMap everybody = accounts.GetEverybody();
  long flags = everybody.getNumber(kAccountFlags);
  return (flags & kAccountEnabled) ? flags : -1;
}

// Appends an account for contact key with flags; 0 or the failure code.
int appendAccount(AccountsManager& accounts, long key, long flags, const Reporter& report) {
  FieldMap record;
  record.setNumber(kAccountContactKey, key);
  record.setNumber(kAccountFlags, flags);
  int rc = accounts.Append(record);
  if (rc != 0) report(accounts.describe());
  return rc;
}

bool usableAddress(const stringT& address) {
  return !address.trim().empty() &&
         validateAddress(address, static_cast<int>(address.length())) == kAddressAccepted;
}

}  // namespace

long confirmAccount(AccountsManager& accounts, long key, const Reporter& report) {
  if (accounts.GetAccount(key)) return key;
  long flags = enabledEverybodyFlags(accounts);
  if (flags < 0) return 0;
  return appendAccount(accounts, key, flags, report) == 0 ? key : 0;
}

long resolveSender(AccountsManager& accounts, const stringT& displayName, const stringT& address,
                   const Reporter& report) {
  long key = 0;
  int found = accounts.FindContactByEmail(address, &key);
  if (found == 0) return key;
  long flags = enabledEverybodyFlags(accounts);
  if (flags < 0) return found == 1 ? key : 0;
  if (found == 1) {
    (void)appendAccount(accounts, key, flags, report);
    return key;
  }
  if (!usableAddress(address)) return 0;
  FieldMap contact;
  // The look-up by address works on the address upper-cased, and a
  // contact named after the address gets it in that form.
  contact.set(kAccountName, contactName(displayName, address.upper()));
  contact.set(kAccountEmail, address);
  if (accounts.AddContact(contact) != 0) {
    report(accounts.describe());
    return 0;
  }
  key = contact.getNumber(kAccountContactKey);
  (void)appendAccount(accounts, key, flags, report);
  return key;
}

void queueAcknowledgement(const LogRecord& row, AccountsManager& accounts, LogsManager& logs,
                          const Reporter& report) {
  long status = row.status();
  if (status == kLogRejected || status == kLogPendingProcessing) return;
  auto account = accounts.GetAccount(row.getNumber(101));
  if (!account) return;
  long flags = account->getNumber(kAccountFlags);
  if ((flags & (kAccountEnabled | kAccountReceivesAcks)) == 0) return;
  LogRecord copy = row;
  copy.SetStatus(kLogPendingAck);
  if (logs.Append(copy) != 0) report(logs.describe());
}

stringT contactName(const stringT& displayName, const stringT& address) {
  std::string name;
  for (char c : displayName.view())
    if (c != '"' && c != '\'') name += c;
  stringT trimmed = stringT(std::move(name)).trim();
  return trimmed.empty() ? address : trimmed;
}

bool formRequestorAllowed(AccountsManager& accounts, long key, const stringT& fromAddress) {
  stringT from = fromAddress.trim().lower();
  if (from.empty()) return false;
  auto account = accounts.GetAccount(key);
  if (account && account->get(kAccountEmail).trim().lower() == from) return true;
  long senderKey = 0;
  if (accounts.FindContactByEmail(fromAddress.trim(), &senderKey) != 0) return false;
  auto sender = accounts.GetAccount(senderKey);
  return sender && (sender->getNumber(kAccountFlags) & kAccountEnabled) != 0;
}
