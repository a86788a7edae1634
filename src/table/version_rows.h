// Versions.dbf rows and their check column, and the version arithmetic of
// the maintenance database's older settings table.
//
// Versions.dbf (no index, no memo):
//
//   | # | field   | type | width | meaning                               |
//   |---|---------|------|-------|---------------------------------------|
//   | 1 | PROGID  | C    | 2     | row identifier                        |
//   | 2 | VERSION | C    | 15    | "%u.%u.%u.%u"                         |
//   | 3 | CHECK   | C    | 15    | VERSION scrambled (scrambleCheck)     |
//
// Row n is record n + 1. Rows 0 to 2 belong to fixed identifiers: "DB" the
// database's own format, "TW" the maintenance program, "@O" this gateway.
// Rows 3 to 5 belong to other programs and are never read or written here.
//
// The check is written by the maintenance program's rule: the VERSION text
// without trailing blanks, upper-cased, copied into fifteen "Z"s, then each
// character i exclusive-or'ed with "QvRnTw"[i % 6]. The result holds lower
// case letters and control characters, so the rule cannot be run backwards
// on the stored CHECK to give VERSION again; a row is valid when its CHECK
// equals the scrambling of its own VERSION text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/version.h"
#include "table/table_layout.h"

// The table's layout, and its fields' positions in it.
DBTableLayout versionsLayout();
enum VersionsField { kVerProgId = 0, kVerVersion = 1, kVerCheck = 2 };

constexpr int kVersionRowDatabase = 0;
constexpr int kVersionRowMaintenance = 1;
constexpr int kVersionRowGateway = 2;
// Rows this program may read or write (0 .. kVersionRowsKnown - 1).
constexpr int kVersionRowsKnown = 3;
constexpr size_t kCheckWidth = 15;

// "DB", "TW", "@O"; nullptr for any other row.
const char* versionRowId(int row);

// The check text for a VERSION text (n characters, no trimming needed).
std::string scrambleCheck(std::string_view text, size_t n = kCheckWidth);

// Whether a row read from the table (texts as stored, trailing blanks
// allowed) is a valid row number `row`.
bool versionRowValid(int row, std::string_view progId, std::string_view version,
                     std::string_view check);

// The version that an older maintenance database states in its settings
// row: DBVERSION v and UPGRSTEP step, for v up to 2.7.108.0. The build
// becomes (build x 50 + revision) x 2, less one when step is not 0, and the
// revision becomes step. A build that would not fit 32 bits, or a negative
// step, gives no version.
std::optional<Version> maintenanceStepVersion(const Version& v, long step);
// The last DBVERSION that is read with maintenanceStepVersion; above it the
// database version is row 0 of Versions.dbf.
inline constexpr Version kLastStepVersion{{2, 7, 108, 0}};
