// AccountsManager: who may use the gateway.
//
// An account is a row of the gateway's accounts.dbf that points at a
// person in the maintenance database's contacts.dbf; the person's name,
// telephone, address and comments are read from the contact through a
// lookup link ("STR(CONTACTKEY,10,0)" into the contacts KEY tag) and never
// copied into the gateway. Callers name an account by its contact key; the
// account's own KEY leaves the manager only as field 64.
//
// Account records are field maps whose numbers are bit values, so a set of
// fields is named by a mask:
//   | 1 CODE (name) | 2 BTEL | 4 EMAIL | 8 COMMENT (memo) |  from the contact
//   | 16 FLAGS | 32 CONTACTKEY | 64 KEY |                    from the account
// Numbers as "%ld". Record 1 of accounts.dbf is the prototype record; its
// FLAGS are those of the Everybody account.
//
// The contact list and the account cache (account_cache.h) exist once per
// process and are shared by every AccountsManager object.
//
// Results: every operation returns its code and keeps code and message as
// the manager's last result. 2 "*account not found"; 2 "*Contact record is
// missing" (the account of a contact deleted in the maintenance program is
// removed the first time it is looked up; a contacts table that cannot be
// read never removes anything); 2 "*Duplicate Contacts"; "*can't append to
// accounts table" and "*can't append to contacts table" with the engine's
// code; "*can't open contacts table". Writes reach the file before success
// is reported.
//
// One thread (the gateway thread).
#pragma once

#include <cstddef>
#include <optional>

#include "common/field_map.h"
#include "common/manager.h"
#include "db/gateway_tables.h"
#include "table/db_table.h"

class DatabaseContext;

enum AccountField : int {
  kAccountName = 1,
  kAccountPhone = 2,
  kAccountEmail = 4,
  kAccountComments = 8,
  kAccountFlags = 16,
  kAccountContactKey = 32,
  kAccountKey = 64,
};
inline constexpr unsigned kAllAccountFields = 0xffff;

class AccountsManager : public Manager {
 public:
  AccountsManager(DatabaseContext& gateway, DatabaseContext& maintenance);

  bool isOpen() const { return accounts_.isOpen(); }
  AccountsTable& table() { return accounts_; }

  // Rebuilds the contact list from the CONTACTKEY tag; empties the cache.
  [[nodiscard]] int Load();
  // Stands the table on the account of contactKey, its contact current.
  [[nodiscard]] int Find(long contactKey);
  // The account record of contactKey (cached, or read); none when absent.
  std::optional<FieldMap> GetAccount(long contactKey);
  // GetAccount for the contact key at position of the contact list.
  std::optional<FieldMap> AccountAt(size_t position);
  // Number of contact keys in the contact list.
  size_t accountCount() const;
  // Writes the masked fields (16 FLAGS, 32 CONTACTKEY) into the current
  // account row and refreshes the cached record.
  [[nodiscard]] int Write(const FieldMap& record, unsigned mask);
  // Find by field 32, then Write.
  [[nodiscard]] int Update(const FieldMap& record, unsigned mask);
  // Adds an account for the contact of field 32; sets field 64.
  [[nodiscard]] int Append(FieldMap& record);
  [[nodiscard]] int Remove(long contactKey);
  // Record 1 as an account record named by the translated "*Everybody".
  // When record 1 cannot be read the record has no flags (admits nobody)
  // and the last result says why.
  FieldMap GetEverybody();
  // Writes field 16 into record 1; its KEY counter stays as it is.
  [[nodiscard]] int SaveEverybody(const FieldMap& record);

  // Looks address up in the contacts EMAIL tag (upper case, over the
  // address's own length; hidden and deleted contacts are never found).
  // 0 and *contactKey: the contact has an account; 1: it has none; 2 with
  // an empty message: no such contact (or an empty address); 2 "*can't
  // open contacts table".
  [[nodiscard]] int FindContactByEmail(const stringT& address, long* contactKey);
  // Creates the person of fields 1 (name) and 4 (address, stored lower
  // case) in contacts.dbf and sets field 32. A name an unhidden contact
  // already has (any case) gets " (2)" (or the next free number).
  [[nodiscard]] int AddContact(FieldMap& record);
  // "Name:", "Phone:", "Email:" and "Comments:" lines for the masked,
  // non-empty fields.
  stringT DescribeAccount(const FieldMap& record, unsigned mask, bool labels) const;

 private:
  int notOpen();
  int appendFailed(int rc);
  // Reads the current account row (and its contact) into an account record.
  FieldMap readAccount();
  // Writes the masked fields into the current row and commits it.
  int writeRow(const FieldMap& record, unsigned mask);
  // The account row is current but its contact is gone: remove the account.
  int dropOrphan(long contactKey);

  DatabaseContext& maintenance_;
  DBTable contacts_;    // declared first: the link in accounts_ refers to it
  AccountsTable accounts_;
};
