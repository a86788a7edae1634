// Keys from the prototype record.
//
// Record 1 of every table the gateway writes holds, in its KEY field, the
// next key to hand out. Taking a key is a read-change-write of record 1
// that another program (the maintenance program, or a second gateway
// tool) may be doing at the same moment, so it runs under the engine's
// lock of record 1:
//
//   lock record 1 -> read it from the file -> skip keys already in the
//   key tag -> KEY = k + 1 (written by the append start that follows,
//   which also releases the lock)
//
// Skipping keys that are already used keeps a lagging counter (a table
// restored from a copy, a counter set back by hand) from handing out a key
// that the unique KEY tag would then leave out, which would make the new
// record unreachable by its key.
//
// Setting a counter back after a failed append happens under the same
// lock and only when record 1 still holds k + 1: when someone else has
// taken k + 1 in the meantime, the counter stays, so no key is ever given
// out twice.
#pragma once

#include "table/db_table.h"

// Positions t on record 1 under its lock and sets its KEY field (field
// number keyField) to the next free key plus one; *key receives the key.
// keyTag: the table's unique KEY tag, used to skip keys in use (nullptr:
// none). On failure the lock is released and record 1 is unchanged.
// 0, or the engine's code (a missing record 1 reads as r4eof).
[[nodiscard]] int takeCounterKey(DBTable& t, int keyField, const DBTable::Ordering* keyTag, long* key);

// The same for a second counter held in record 1 alongside KEY (for
// example WRNUM): reads field `field` as a number n into *value and writes
// n + 1. Record 1 must be current and locked (after takeCounterKey).
[[nodiscard]] int takeCounterField(DBTable& t, int field, long* value);

// After a failed append of the record that took key: puts k back into
// record 1 when it still holds k + 1, and writes record 1. 0 or the
// engine's code.
[[nodiscard]] int giveBackCounterKey(DBTable& t, int keyField, long key);

// Releases every lock the table's handle holds (after a failure).
void releaseTableLocks(DBTable& t);

// Drops the changes made to the current record buffer (after a failed
// write or append), so no later move writes them, and releases the locks.
void discardRecordChanges(DBTable& t);

// Assigns text to a field; an empty text blanks it (the engine's assign is
// never handed a null pointer for an empty text).
[[nodiscard]] int assignText(DBField& f, const stringT& text);
