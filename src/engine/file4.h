// FILE4: one file of the engine (data, memo, index or temporary sort file)
// and the operations on it: open and create with the context's access mode,
// reads and writes at absolute positions, length, flush, byte-range locks
// with the context's retry rule, temporary files, and buffered sequential
// reading and writing (file4seq.h).
//
// Errors are reported through error4 with the file name and returned as
// the engine's codes; system errors are mapped as follows:
//   not found, bad name, not a directory, is a directory   -> -64
//   too many open files                                    -> -63
//   permission denied, sharing violation, read-only fs     -> -61
//   disk full, quota exhausted                             -> -120
//   anything else                                          -> -60
// A FILE4 is owned by its creator (a data file, memo file, index, sort) and
// used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"

struct CODE4;

struct FILE4 {
  std::unique_ptr<PlatformFile> handle;  // null when closed
  std::string name;                      // full name as opened
  CODE4* codeBase = nullptr;
  bool isReadOnly = false;     // read-only attribute, or the context's readOnly
  char accessMode = 0;         // copied from the context at open
  bool removeOnClose = false;  // temporary files
  int64_t cachedLength = -1;   // last length seen by file4len (-1: unknown)

  bool isOpen() const { return handle != nullptr; }
};

// Opens an existing file. Returns 0; 70 when errorOnOpen is off; else the
// error code (-60 ... -64, reported with the name).
[[nodiscard]] int file4open(FILE4* f, CODE4* c, std::string_view name);
// Creates name (empty: a temporary file, as file4temp with the current
// directory). Returns 0, 60 (exists or in use; reported as -20 when
// errorOnCreate is on) or an error.
[[nodiscard]] int file4create(FILE4* f, CODE4* c, std::string_view name);
// Creates a temporary file "TEMP####.<ext>" in $TEMP, $TMP or (useTempDir
// false, or neither set) the current directory; removed when closed.
[[nodiscard]] int file4temp(FILE4* f, CODE4* c, bool useTempDir, std::string_view ext = "TMP");
// Closes the file (removing it when remove-on-close); 0 or -10.
[[nodiscard]] int file4close(FILE4* f);

// Bytes read at pos (fewer at end of file), or -70.
[[nodiscard]] int64_t file4read(FILE4* f, int64_t pos, void* buffer, size_t length);
// Reads exactly length bytes; 0 or -70.
[[nodiscard]] int file4readAll(FILE4* f, int64_t pos, void* buffer, size_t length);
// Writes length bytes at pos; 0 or -120 (also for a read-only file).
[[nodiscard]] int file4write(FILE4* f, int64_t pos, const void* buffer, size_t length);
// Writes the pieces one after another from pos, in one call where the
// system allows; errors as file4write.
[[nodiscard]] int file4writePieces(FILE4* f, int64_t pos, std::span<const WritePiece> pieces);
// File length, or -30.
[[nodiscard]] int64_t file4len(FILE4* f);
// Sets the length; 0, -930 for a read-only file, or -40.
[[nodiscard]] int file4lenSet(FILE4* f, int64_t length);
// Flushes the file to disk; 0 or -630.
[[nodiscard]] int file4flush(FILE4* f);

// Byte-range lock with the context's lockAttempts / lockDelay. Returns 0,
// 50 (held elsewhere after the last try) or -50. Length 0, a read-only
// file or a non-shared access mode succeed at once.
[[nodiscard]] int file4lock(FILE4* f, uint64_t offset, uint64_t length);
// The same with an explicit number of tries (0 counts as 1, -1 for ever).
[[nodiscard]] int file4lockAttempts(FILE4* f, uint64_t offset, uint64_t length, int attempts);
// Releases a lock; 0 or -110.
[[nodiscard]] int file4unlock(FILE4* f, uint64_t offset, uint64_t length);

// The engine's code for a system error met on a file, as in the table at
// the top (also for files the engine does not open itself). A full disk
// and an exhausted quota are both write failures.
[[nodiscard]] int file4systemErrorCode(int systemError);

// True when locks on this file are real (shared, writable).
bool file4locksNeeded(const FILE4* f);
