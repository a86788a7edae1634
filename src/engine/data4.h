// Data files and data handles: DATA4FILE is one open .dbf file in a context
// (shared by every handle on it); DATA4 is one d4open of it, with its own
// record buffer, position and selected tag. The d4* operations open,
// create, navigate and change records; the file format is in dbf_format.h.
//
// Record cycle. A handle is opened on no record, is positioned by d4go /
// d4skip / d4top / d4bottom, changed through its fields (record-changed
// flag) and written by d4write, or written automatically by the next
// operation that leaves the record (the pending record write).
//
// Locks (data4lock.cpp) sit at the offsets other programs use, listed
// with every other lock offset in lock_offsets.h.
// Locks taken are remembered per data file, with their owning handle, so
// that a repeat request costs no system call.
//
// Indexes reach this module only through index4_hooks.h.
//
// Ownership: the context owns data files and handles; d4close frees the
// handle and, with its last handle, the data file. One thread per context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf_format.h"
#include "engine/field4.h"
#include "engine/file4.h"
#include "engine/memo4.h"

struct CODE4;
struct INDEX4;      // index module
struct INDEX4FILE;  // index module
struct TAG4;        // index module

// One field of a d4create field list; the list ends with a null name.
struct FIELD4INFO {
  const char* name;
  char type;
  uint16_t len;
  uint16_t dec;
  uint16_t nulls;  // r4null (190) marks a nullable field
};

// One tag of a d4create / i4create tag list; the list ends with a null name.
struct TAG4INFO {
  const char* name;
  const char* expression;
  const char* filter;  // nullptr or "": none
  short unique;        // 0, 20, 25, -340, 15, -360
  unsigned short descending;  // 0 or 10
};

struct LOCK4RECORD {
  int32_t recNo;
  DATA4* owner;
};

struct DATA4FILE {
  CODE4* codeBase = nullptr;
  FILE4 file;
  std::string upperName;  // full name upper case, for finding open files
  Dbf4Header header;
  std::vector<Dbf4Descriptor> descriptors;  // including _NullFlags
  std::vector<uint32_t> fieldOffsets;       // computed, parallel to descriptors
  bool vfp = false;                         // version '0'
  int32_t recCount = -1;                    // cached count; -1 = read from disk
  bool hasMemo = false;
  MEMO4FILE memo;
  std::vector<INDEX4FILE*> indexFiles;  // owned by the index module
  std::vector<LOCK4RECORD> recordLocks;  // ordered by record number
  DATA4* appendLockOwner = nullptr;
  DATA4* fileLockOwner = nullptr;
  char accessMode = 0;
  bool readOnly = false;
  int userCount = 0;
  bool fileChanged = false;    // written since opened: header date on close
  bool headerPending = false;  // exclusive: header rewritten at flush/close
};

struct DATA4 {
  CODE4* codeBase = nullptr;
  DATA4FILE* dataFile = nullptr;
  std::string alias;
  int32_t recNum = 0;  // 0 or -1: no current record; count + 1: end of file
  bool eofFlag = false;
  bool bofFlag = false;
  bool recordChanged = false;
  bool readOnly = false;
  bool oldValid = false;  // recordOld holds the record as on disk
  int32_t appendedRec = 0;  // record appended under this handle's append lock
  TAG4* tagSelected = nullptr;
  std::vector<INDEX4*> indexes;  // owned by the index module
  std::vector<char> record, recordOld, recordBlank;  // record length + 1 each
  std::vector<FIELD4> fields;     // including _NullFlags (last when present)
  std::vector<std::unique_ptr<F4MEMO>> memos;
  FIELD4* nullFlags = nullptr;
  std::string strBuffer;          // for f4str
};

// Opening and closing.
DATA4* d4open(CODE4* c, std::string_view name);
DATA4* d4create(CODE4* c, std::string_view name, const FIELD4INFO* fields,
                const TAG4INFO* tags = nullptr);
// Writes the pending record and changed index blocks, then closes. With an
// earlier error still set in the context nothing is written (as for every
// operation) and the result is e4codeBase: a pending record is then lost,
// and the result says so.
[[nodiscard]] int d4close(DATA4* d);
[[nodiscard]] int d4refreshRecord(DATA4* d);

// Navigation.
[[nodiscard]] int d4go(DATA4* d, int32_t recNo);
[[nodiscard]] int d4top(DATA4* d);
[[nodiscard]] int d4bottom(DATA4* d);
[[nodiscard]] int d4skip(DATA4* d, int32_t n);
[[nodiscard]] int d4goEof(DATA4* d);

// Status.
int32_t d4recNo(const DATA4* d);
int32_t d4recCount(DATA4* d);
bool d4eof(const DATA4* d);
bool d4bof(const DATA4* d);
bool d4deleted(const DATA4* d);
int d4changed(DATA4* d, int flag);
char* d4record(DATA4* d);
unsigned d4recWidth(const DATA4* d);
int d4numFields(const DATA4* d);
const char* d4alias(const DATA4* d);
void d4aliasSet(DATA4* d, std::string_view alias);
FIELD4* d4field(DATA4* d, std::string_view name);
FIELD4* d4fieldJ(DATA4* d, int number);  // 1-based
int d4fieldNumber(DATA4* d, std::string_view name);
bool d4isVfp(const DATA4* d);
// Header byte 29: the code page the table's text is written in.
uint8_t d4codePage(const DATA4* d);

// Changing records.
[[nodiscard]] int d4blank(DATA4* d);
[[nodiscard]] int d4delete(DATA4* d);
[[nodiscard]] int d4recall(DATA4* d);
[[nodiscard]] int d4appendStart(DATA4* d, int useMemo);
[[nodiscard]] int d4append(DATA4* d);
[[nodiscard]] int d4appendBlank(DATA4* d);
[[nodiscard]] int d4write(DATA4* d, int32_t recNo, bool unlock = true);
[[nodiscard]] int d4flush(DATA4* d);

// Locking.
[[nodiscard]] int d4lock(DATA4* d, int32_t recNo);
[[nodiscard]] int d4lockAppend(DATA4* d);
[[nodiscard]] int d4lockFile(DATA4* d);
[[nodiscard]] int d4unlock(DATA4* d);
[[nodiscard]] int d4unlockRecords(DATA4* d);
[[nodiscard]] int d4unlockAppend(DATA4* d);
[[nodiscard]] int d4unlockFile(DATA4* d);
bool d4lockTest(const DATA4* d, int32_t recNo);
bool d4lockTestAppend(const DATA4* d);
bool d4lockTestFile(const DATA4* d);
// The byte locked for record r (or r = 0 for the append lock) of this file.
uint64_t d4lockOffset(const DATA4FILE* f, int32_t recNo);

// Engine-internal helpers shared by the data modules and the index module.
// Writes a changed current record (the pending record write); 0 or error.
[[nodiscard]] int d4updateRecord(DATA4* d, bool unlock);
// Reads record recNo into the buffer without the pending write; 0, 5 or -70.
[[nodiscard]] int d4goData(DATA4* d, int32_t recNo);
// Makes recordOld hold record recNo as it is on disk; 0 or error.
[[nodiscard]] int d4readOld(DATA4* d, int32_t recNo);
// Rewrites the header's first 10 bytes (count when known); 0 or error.
[[nodiscard]] int d4writeHeader(DATA4FILE* f);
// Already-in-error check shared by every operation: -1410 when the
// context's error code is negative, else 0.
[[nodiscard]] int d4check(const DATA4* d);
