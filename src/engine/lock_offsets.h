// Every byte-range lock the engine takes, in one place. The maintenance
// program locks the same bytes of the same files at the same moments, and
// so does every other FoxPro-family program that shares them: these values
// are part of the file format and must never change.
//
//   file  offset                           length      protects                      taken by
//   .dbf  0x40000000 + hdr + (r-1) * len   1           record r, FoxPro 2.x table    both
//                                                      without a production index
//   .dbf  0x40000000                       1           appending (the record count)  both
//                                                      in that scheme
//   .dbf  0x7FFFFFFE - r                   1           record r, table with a        both
//                                                      production index, or VFP
//   .dbf  0x7FFFFFFE                       1           appending in that scheme      both
//   .dbf  0x40000000                       0x3FFFFFFF  the whole table: every byte   both
//                                                      of both schemes above, up to
//                                                      and including 0x7FFFFFFE
//   .cdx  0x7FFFFFFE                       1           the index file: nodes, tag    both
//                                                      headers, free list, change
//                                                      counter
//   .fpt  0x40000000                       1           the memo header (next free    both
//                                                      block)
//
// "both": the gateway and the maintenance program. hdr and len are the
// table's header and record lengths; r counts from 1 (d4lockOffset).
// Which scheme a table uses is read from its header, so both programs
// always agree. The database's session.lok and exclude.lok are not locked
// by byte range: they are opened with share modes (whole-file locks).
#pragma once

#include <cstdint>

// Base of the low scheme's record and append bytes; start of the file lock.
inline constexpr uint64_t kDataLockLowBase = 0x40000000;
// The high scheme's append byte; record r locks the byte r below it.
inline constexpr uint64_t kDataLockHighBase = 0x7FFFFFFE;
// The file lock: from the low base through the high base.
inline constexpr uint64_t kDataFileLockOffset = 0x40000000;
inline constexpr uint64_t kDataFileLockLength = 0x3FFFFFFF;
// The index lock of a .cdx file.
inline constexpr uint64_t kIndexLockOffset = 0x7FFFFFFE;
// The memo header lock of an .fpt file.
inline constexpr uint64_t kMemoLockOffset = 0x40000000;
// Record, append, index and memo locks are one byte long.
inline constexpr uint64_t kLockByteLength = 1;
