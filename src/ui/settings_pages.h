// The three settings pages behind the console's Administration menu:
// E-mail, Preferences (stored field by field) and Accounts (through the
// AccountsManager).
//
// E-mail and Preferences: every accepted change is stored into its setting
// at once and the settings file is written after it (a file that cannot be
// written shows the settings manager's warning, and the change stays in
// memory). A refused value leaves the setting as it was and says why:
//   - any control character (bytes 0-31 and 127: a CR or LF would end the
//     line in orvserv.cfg and start a setting of its own), at its position;
//   - a port that is not empty and not 1 to 65535; a number that is not a
//     whole number; a choice that is not one of its values;
//   - a return address (155) that is not empty and fails validateAddress:
//     "*Invalid Return E-mail Address: '%s' at position %d";
//   - an interval (151) that is not a whole number from 0 minutes to
//     kMaxIntervalMinutes. A change of the interval restarts timer 1.
//
// The E-mail page is built from one table, emailFields(): each line is a
// setting, its label and its kind. Secrets (kind Secret) are write-only:
// the page learns whether one is set, never its value, and may replace or
// clear it.
//
//   | page        | settings                                          |
//   |-------------|---------------------------------------------------|
//   | E-mail      | POP3: 101 103 104 (secret) 105 (port) 320 321 322 |
//   |             | SMTP: 102 106 (port) 323 324 325 326 (secret) 327 |
//   |             | certificates and OAuth: 328 329 (check) 330       |
//   |             | 331 332 (secrets) 333 334                         |
//   | Preferences | 151 (number x unit factor), 152 153 154 155,      |
//   |             | check boxes 156 157 158 159 (1 ticked, 0 not),    |
//   |             | limits (limitFields): 310 380 381 312, check 313  |
//
// Secrets are stored scrambled (scramble()), as the mail clients' set-up
// unscrambles them. A change of a setting that says where or how a secret
// is sent clears that secret in the same write (secretsClearedBy in
// common/configurations.h); the result names the cleared ones, and
// secretsClearedByText tells the page beforehand, so it can warn. A choice takes one of its words, or empty for the
// word it means when empty; a limit is empty (its default) or a whole
// number from 0 to the field's maximum.
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
  std::vector<int> cleared;  // secrets the change cleared (secretsClearedBy)
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

enum class FieldKind { Text, Number, Port, Secret, Choice, Check };

struct FieldChoice {
  const char* value;  // as stored
  const char* text;   // marked text shown for it
};

// One line of a settings page's table.
struct SettingField {
  int number;
  const char* label;  // marked text
  FieldKind kind;
  std::vector<FieldChoice> choices = {};  // FieldKind::Choice only
  bool scrambled = false;                 // stored through scramble()
  const char* group = nullptr;            // marked heading shown above it
  const char* emptyMeans = nullptr;       // what an empty value stands for
  long maximum = 0;                       // FieldKind::Number: largest accepted
};

// The E-mail page, in the order shown.
const std::vector<SettingField>& emailFields();
// The limits on the Preferences page, in the order shown.
const std::vector<SettingField>& limitFields();
// The line of either table for a setting; nullptr for the others.
const SettingField* settingsPageField(int setting);
// A secret's name in messages, translated ("POP3 password", the others'
// labels).
stringT secretName(int setting);
// Whether a setting is write-only: a Secret of any page, or a secret kept
// off the pages (the console password hash).
bool isSecretSetting(int setting);

// The longest processing interval the Preferences page accepts: a year.
inline constexpr long kMaxIntervalMinutes = 52L * 10080;

// Why value cannot go into a setting of this kind (translated), or an
// empty text when it can. 155 is also checked as an address.
stringT settingRefusal(int setting, FieldKind kind, const stringT& value, const std::vector<FieldChoice>& choices = {});
// The same for a line of the tables, with its bounds and empty value.
stringT fieldRefusal(const SettingField& field, const stringT& value);
// The same for the interval's number field: a whole number whose minutes
// (quantity x unit) do not exceed kMaxIntervalMinutes.
stringT intervalRefusal(const stringT& quantity, long unitFactor, long* minutes = nullptr);

// A field of the E-mail page as shown: a secret's value is never given,
// only whether it is set.
struct ShownField {
  const SettingField* field;
  stringT value;
  bool isSet = false;
};

class SettingsPages {
 public:
  SettingsPages(MainWindow& window, stringT settingsPath);

  std::vector<ShownField> emailPage() const;
  std::vector<ShownField> limitsPage() const;
  PreferencesValues preferences() const;

  // A field losing the focus: the E-mail page's fields and 152-155. An
  // empty value clears a secret.
  PageResult storeText(int setting, const stringT& value);
  // The secrets that storeText(setting, value) would clear; nothing is
  // stored.
  std::vector<int> secretsClearedByText(int setting, const stringT& value) const;
  // The interval's number field as typed, and the unit's factor.
  PageResult storeInterval(const stringT& quantity, long unitFactor);
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
