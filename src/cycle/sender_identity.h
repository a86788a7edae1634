// Who sent a log row, as the log update run decides it, and the queueing
// of notices for the acknowledgement run.
//
//   confirmAccount(k)       the account of contact k exists: k; else, when
//                           the Everybody account is enabled (flag 1), an
//                           account is appended for k with the Everybody
//                           account's flags: k; else 0
//   resolveSender(name, a)  contacts.dbf by address a:
//                             contact with account      -> its key
//                             Everybody not enabled     -> the contact's key
//                                                          or 0 (rejected later)
//                             contact without account   -> account appended
//                             no contact                -> contact named
//                                                          after name (quotes
//                                                          removed, trimmed; a
//                                                          if that is empty),
//                                                          then its account
//   queueAcknowledgement    a row of status other than 0 and 1 whose
//                           account has flag 1 or 2 gets a copy with status
//                           8 appended to logs.dbf
//
// New accounts take the Everybody account's flags. An address that
// validateAddress refuses (or an empty one) never becomes a contact: the
// row is then left to be rejected as unauthorized, rather than writing a
// person without a usable address into the maintenance database. Failures
// go to report with the manager's describe() text.
#pragma once

#include <functional>

#include "common/string.h"

class AccountsManager;
class LogRecord;
class LogsManager;

using Reporter = std::function<void(const stringT&)>;

long confirmAccount(AccountsManager& accounts, long key, const Reporter& report);
long resolveSender(AccountsManager& accounts, const stringT& displayName, const stringT& address,
                   const Reporter& report);
void queueAcknowledgement(const LogRecord& row, AccountsManager& accounts, LogsManager& logs,
                          const Reporter& report);

// The display name with every '"' and '\'' removed, trimmed; address when
// that leaves nothing.
stringT contactName(const stringT& displayName, const stringT& address);

// Whether a requestor key taken from a request form (field 17) may stand
// for the sender: the sender's From address is that contact's own address,
// or the sender holds an enabled account (it may file on behalf of
// others). Anyone else is identified by the From address, so a stranger
// cannot file requests in an account holder's name by naming its key.
bool formRequestorAllowed(AccountsManager& accounts, long key, const stringT& fromAddress);
