// The three settings pages behind the console's Administration menu:
// E-mail, Preferences (stored field by field) and Accounts (through the
// AccountsManager).
//
// E-mail and Preferences: every accepted change is stored into its setting
// at once and the settings file is written after it (a file that cannot be
// written shows the settings manager's warning, and the change stays in
// memory). The return address (155) must be empty or pass validateAddress;
// otherwise "*Invalid Return E-mail Address: '%s' at position %d" and the
// old value stays. A change of the interval (151) restarts timer 1.
//
//   | page        | settings                                          |
//   |-------------|---------------------------------------------------|
//   | E-mail      | 101 102 103 104 (shown plain, stored scrambled)   |
//   |             | 105 106                                           |
//   | Preferences | 151 (number x unit factor), 152 153 154 155,      |
//   |             | check boxes 156 157 158 159 (1 ticked, 0 not)     |
//
// Accounts: list, add from the maintenance contacts (each address checked
// with validateAddress; "*Invalid E-mail Address: '%s' at position %d"
// names a refused one), edit flags, enable/disable, delete, Everybody.
//
// One thread: the gateway thread.
#pragma once

#include <optional>
#include <vector>

#include "common/field_map.h"
#include "common/string.h"

class MainWindow;
class ProcessingCycle;

struct PageResult {
  bool ok = true;
  stringT message;  // why it was refused, or the warning of a failed write
};

struct IntervalUnit {
  stringT text;  // translated
  long factor;
};

struct PreferencesValues {
  long quantity = 0;
  long unitFactor = 1;
  std::vector<IntervalUnit> units;
  FieldMap texts;   // 152 153 154 155
  FieldMap checks;  // 156 157 158 159: "1" ticked, "0" not
};

class SettingsPages {
 public:
  SettingsPages(MainWindow& window, stringT settingsPath);

  // 101 to 106, the password unscrambled.
  FieldMap emailValues() const;
  PreferencesValues preferences() const;

  // A text field losing the focus: 101-106 and 152-155 (155 validated).
  PageResult storeText(int setting, const stringT& value);
  PageResult storeInterval(long quantity, long unitFactor);
  PageResult storeCheck(int setting, bool ticked);

 private:
  PageResult save();

  MainWindow& window_;
  stringT settingsPath_;
};

struct AccountEntry {
  long contactKey = 0;
  stringT name, phone, email;
  bool disabled = false;
};

struct AccountDetails {
  bool found = false;
  long contactKey = 0;  // 0: the Everybody account
  stringT description;  // DescribeAccount with every field
  bool receiveAcknowledgements = false;
  bool disabled = false;
};

struct ContactEntry {
  long key = 0;
  stringT name, phone, email;
};

class AccountsPage {
 public:
  explicit AccountsPage(ProcessingCycle& cycle);

  std::vector<AccountEntry> list();
  // The maintenance contacts (not hidden), in name order.
  std::vector<ContactEntry> contacts();
  // contactKey 0: the Everybody account.
  AccountDetails details(long contactKey);

  // Every picked contact with a valid address becomes an account; the
  // refused ones are named in the result's message (one line each).
  PageResult add(const std::vector<long>& contactKeys);
  PageResult edit(long contactKey, bool receiveAcknowledgements, bool disabled);
  PageResult setDisabled(const std::vector<long>& contactKeys, bool disabled);
  PageResult remove(const std::vector<long>& contactKeys);

 private:
  ProcessingCycle& cycle_;
};

// Account flags after the Account Details dialog's OK.
long flagsFromDetails(long flags, bool receiveAcknowledgements, bool disabled);
