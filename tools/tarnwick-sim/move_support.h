// Helpers shared by the tarnwick-sim moves: opening the database and its
// tables, locking one record by key, dates, numbers and messages.
#pragma once

#include <memory>
#include <string>

#include "db/maintenance_database.h"
#include "table/db_table.h"

namespace sim {

// The database at dir with its session lock taken shared; nullptr after
// reporting on stderr.
std::unique_ptr<MaintenanceDatabase> openDatabase(const std::string& dir);

// Opens name for reading and writing (or only reading); nullptr after
// reporting.
std::unique_ptr<DBTable> openTable(DatabaseContext& db, const char* name, const DBTableLayout& layout,
                                   bool write = true);

// Finds the live record whose KEY is key through the KEY tag keyTag, locks
// it and reads it again under the lock. 0; 2 when there is none (reported);
// or the engine's code (reported).
[[nodiscard]] int lockByKey(DBTable& t, int keyTag, long key, const char* what);

// Writes the current record (releasing its lock) and flushes; 0, or the
// engine's code after reporting and dropping the change.
[[nodiscard]] int writeRecord(DBTable& t, const char* what);

// Today's date as CCYYMMDD and the time as HHMMSS (local time).
std::string todayText();
std::string nowText();

// A whole decimal number (optional sign); false for anything else.
bool parseLong(const std::string& text, long* out);
// CCYYMMDD naming a real date.
bool isDateText(const std::string& text);

// Prints "tarnwick-sim: " + message on stderr; returns kExitFailed.
int fail(const std::string& message);
// The first letter of a one-character field (' ' when blank).
char letterOf(const DBTable& t, int field);

}  // namespace sim

namespace sim {
// Prints "usage: tarnwick-sim " + text on stderr; returns kExitUsage.
int usage(const char* text);
}  // namespace sim
