// Settings written from the command line (/Set, /SetFromFile,
// /SetFromStdin), for scripted installs: no browser, no gateway run.
//
// Only the settings an operator edits on the settings pages may be
// written, each checked as the pages check it, so a script cannot store
// what the console would refuse:
//
//   | n          | kind     | accepted value                                 |
//   |------------|----------|------------------------------------------------|
//   | 101-103    | text     | any text without control characters            |
//   | 104        | password | the same; stored scrambled as the page does    |
//   | 105, 106   | port     | empty, or a decimal number 0 to 65535          |
//   | 151        | interval | empty, or a decimal number of minutes          |
//   | 152-154    | text     |                                                |
//   | 155        | address  | empty, or an address validateAddress accepts   |
//   | 156-159    | flag     | 0 or 1                                         |
//   | 320 321    | choice   | empty, or a word of the E-mail page's list     |
//   | 323 324    |          |                                                |
//   | 326 331 332| password | stored scrambled                               |
//   | 322 325 327| text     |                                                |
//   | 328 330    |          |                                                |
//   | 333 334    |          |                                                |
//   | 313 329    | flag     | 0 or 1                                         |
//   | 310 312    | number   | empty, or a whole number from 0 to the limit   |
//   | 380 381    |          | the Preferences page names                     |
//
// Control characters are bytes 0x00-0x1F and 0x7F; a settings line cannot
// hold a line end, and the others have no place in these values. A value
// read from a file or standard input is its first line, without the line
// end. Values are at most kMaxSettingValue bytes.
//
// Every value is read and checked before anything is written: one bad
// value writes none.
//
// A stored secret belongs to the connection it was entered for: a value
// that changes where or how a secret is sent clears it (secretsClearedBy,
// common/configurations.h), unless the same command gives the secret
// too.
#pragma once

#include <cstdio>
#include <optional>
#include <vector>

#include "app/command_line.h"
#include "common/field_map.h"

inline constexpr size_t kMaxSettingValue = 4096;

enum class SettingKind { Text, Password, Port, Interval, Address, Flag, Choice, Number };

// The kind of a setting the command line may write; none for the others.
std::optional<SettingKind> commandLineSettingKind(int number);

// Checks value for setting number; the translated reason when refused.
std::optional<stringT> settingValueProblem(int number, const stringT& value);

// Reads each assignment's value (the text itself, the file's first line,
// or one line of in) and checks it. Returns the values to store (the
// passwords scrambled), or nothing after adding one translated line per refusal
// to problems.
std::optional<FieldMap> resolveSettings(const std::vector<SettingAssignment>& assignments, std::FILE* in,
                                        std::vector<stringT>& problems);

// Stores values into settings, every other setting before the secrets, so
// that a secret given with its new server is kept. Returns the secrets
// that were cleared and not given again, in ascending order.
std::vector<int> applySettings(const FieldMap& values, FieldMap& settings);
