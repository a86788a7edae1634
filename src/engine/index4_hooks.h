// The points where the data-file code reaches the index module.
//
// The index module owns index4_hooks.cpp and replaces the first version
// (which serves tables without an open index). The data module calls these
// and nothing else of the index module; the index module may use every d4*
// and f4* operation, in particular d4goData, d4readOld and the lock calls.
//
// Codes follow error4.h: 0 success, 20 unique violation (record refused),
// 50 locked elsewhere, negative errors (already reported).
#pragma once

#include <cstdint>

struct DATA4;
struct TAG4INFO;

// d4open, after the handle is complete (fields, memo), when autoOpenIndex is
// on and header byte 28 bit 0 is set: opens the production index for d.
// A non-zero result fails the open (d4open closes the handle).
[[nodiscard]] int index4hookOpenProduction(DATA4* d);

// d4create, after the data file was created and opened exclusively, when
// tags is a non-empty list: creates and builds the production index and
// sets header byte 28 bit 0 (written at offset 28). 0, 20 or error; on a
// non-zero result d4create closes and removes the new files.
[[nodiscard]] int index4hookCreateProduction(DATA4* d, const TAG4INFO* tags);

// d4close, after the pending record is written and before the handle's
// locks are released: closes the index objects of d; when d is the data
// file's last handle (d->dataFile->userCount == 1) also its index files.
[[nodiscard]] int index4hookClose(DATA4* d);

// True when a record change must maintain keys (an index is open on the
// data file). d4write then provides the old copy of the record.
[[nodiscard]] bool index4hookMaintainsKeys(DATA4* d);

// d4append step 4: the append lock and the new record's lock are held and
// recNo is the new record's number; d->record holds the new record. Locks
// the index files, adds each tag's key when its filter passes. When an
// addition fails or violates a unique tag, drops every key change of this
// record from the cache, unlocks,
// and returns 20 or the error. On 0 the changes stay pending until
// index4hookEndChange.
[[nodiscard]] int index4hookAppendKeys(DATA4* d, int32_t recNo);

// d4write step 5: the record's lock is held; oldRecord is the record as on
// disk, d->record the new one (both record length bytes). Replaces changed
// keys tag by tag, with the same failure and result rules as AppendKeys.
[[nodiscard]] int index4hookWriteKeys(DATA4* d, int32_t recNo, const char* oldRecord);

// After every AppendKeys / WriteKeys that returned 0, once the record write
// was tried: recordWritten false drops the key changes. Then writes the
// changed blocks and unlocks the index files locked for this change.
[[nodiscard]] int index4hookEndChange(DATA4* d, bool recordWritten);

// d4flush: writes changed index blocks and headers. 0 or error.
[[nodiscard]] int index4hookFlush(DATA4* d);

// Navigation while d->tagSelected is set: the whole of d4top, d4bottom and
// d4skip in tag order (the pending record is already written). They
// position the handle with d4goData / d4goEof and return those results.
[[nodiscard]] int index4hookTop(DATA4* d);
[[nodiscard]] int index4hookBottom(DATA4* d);
[[nodiscard]] int index4hookSkip(DATA4* d, int32_t n);
