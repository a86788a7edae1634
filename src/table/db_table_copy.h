// Copying records between tables, for table conversions (the upgrade).
//
// CopyRecords copies every record of the source that is not marked deleted,
// in natural order (record 1 included), into new records of the
// destination: fields are matched by name, a destination field without a
// source field stays blank, and date fields are normalised (anything but a
// valid CCYYMMDD text becomes blank). An optional per-record function may
// change the new record before it is appended; when it returns false the
// copy stops there, without appending that record.
//
// CopyTable copies a whole table to a new file in the same directory with
// the source's exact fields and no index: raw record bytes, each memo text
// written anew into the new memo file, dates normalised.
//
// Both tell the database context's progress reporter the record count
// first and ask it after each record whether to go on; a refusal stops the
// copy with -1410. The result is 0, -1410, or the engine's code (already
// reported by the engine hook).
#pragma once

#include <functional>

#include "common/string.h"

class DatabaseContext;
class DBTable;

using CopyRecordHook = std::function<bool(DBTable& source, DBTable& destination)>;

[[nodiscard]] int CopyRecords(DBTable& source, DBTable& destination,
                              const CopyRecordHook& perRecord = {});
[[nodiscard]] int CopyTable(DatabaseContext& db, const stringT& sourceName,
                            const stringT& destinationName);

// Blanks a date field whose text is not a valid CCYYMMDD date.
void normaliseDateField(DBTable& table, int field);
