// FIELD4: one field of a data handle, and the f4* operations that read and
// change it in the handle's record buffer.
//
// Storage by type (see dbf_format.h for descriptors):
//   C, W        text, blank padded; Z (C with the binary flag) likewise
//   N, F        right-justified decimal text, "*" filled on overflow
//   D           CCYYMMDD text, eight blanks when empty
//   L           "T", "F" (also read: t, Y, y), blank
//   M, G        width 10: block number as right-justified digits (blank: none)
//   M, G, X     width 4 (binary): block number, 32-bit LE (0: none)
//   B           IEEE double LE          I  32-bit integer LE
//   T           Julian day LE32 + milliseconds since midnight LE32
//   Y           64-bit integer LE = value x 10000
//   0           _NullFlags: one bit per nullable field
//
// Every assignment sets the handle's record-changed flag, clears the field's
// null bit, and, with lockEnforce, needs the current record locked (-50).
// A FIELD4 lives as long as its data handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct DATA4;

// Memo contents of a memo field in the handle's current record.
struct F4MEMO {
  std::string contents;
  bool isRead = false;     // read since the record was loaded
  bool isChanged = false;  // assigned, not yet written
};

struct FIELD4 {
  DATA4* data = nullptr;
  char name[11] = {};  // upper case, no trailing blanks
  char type = 0;       // the letter stored in the descriptor
  uint16_t len = 0;
  uint8_t dec = 0;
  uint32_t offset = 0;  // in the record; the deletion flag is at 0
  bool binary = false;      // stored as binary bytes; blanked with zeros
  bool binaryFlag = false;  // descriptor flag bit 2 in a Visual FoxPro file
  bool nullable = false;
  int nullBit = -1;     // bit number in _NullFlags when nullable
  bool system = false;  // _NullFlags
  F4MEMO* memo = nullptr;  // memo fields only; owned by the handle
};

// Marker for a nullable field in a FIELD4INFO list.
inline constexpr int r4null = 190;

// Descriptor values. f4type reports F as N, binary C as Z, binary M as X.
const char* f4name(const FIELD4* f);
char f4type(const FIELD4* f);
unsigned f4len(const FIELD4* f);
int f4decimals(const FIELD4* f);
bool f4isMemo(const FIELD4* f);

// Raw bytes in the record buffer, and a NUL-terminated copy (valid until
// the next f4str call on any field of the handle).
char* f4ptr(FIELD4* f);
const char* f4str(FIELD4* f);

// Reads.
long f4long(const FIELD4* f);
int f4int(const FIELD4* f);
double f4double(const FIELD4* f);
bool f4true(const FIELD4* f);
bool f4null(const FIELD4* f);

// Assignments; 0 or an error (-50 lockEnforce, -930 wrong type).
[[nodiscard]] int f4assign(FIELD4* f, const char* text);
[[nodiscard]] int f4assignN(FIELD4* f, const char* text, size_t length);
[[nodiscard]] int f4assignLong(FIELD4* f, long value);
[[nodiscard]] int f4assignInt(FIELD4* f, int value);
[[nodiscard]] int f4assignDouble(FIELD4* f, double value);
[[nodiscard]] int f4assignCurrency(FIELD4* f, const char* text);
[[nodiscard]] int f4assignNull(FIELD4* f);
[[nodiscard]] int f4blank(FIELD4* f);

// Memo access (memo4.cpp). f4memoPtr reads the memo on first access after
// the record was loaded; on a non-memo field it gives the field text.
const char* f4memoPtr(FIELD4* f);
const char* f4memoStr(FIELD4* f);
unsigned long f4memoLen(FIELD4* f);
// Copies at most size - 1 bytes and a NUL; returns the bytes copied.
unsigned f4memoNcpy(FIELD4* f, char* buffer, unsigned size);
[[nodiscard]] int f4memoAssign(FIELD4* f, const char* text);
[[nodiscard]] int f4memoAssignN(FIELD4* f, const char* text, size_t length);
// Writes a changed memo now (normally done by the record write).
[[nodiscard]] int f4memoFlush(FIELD4* f);

// Used by the assignment paths: checks lockEnforce and the already-in-error
// rule and marks the record changed. Returns 0 or the error.
[[nodiscard]] int f4changeCheck(FIELD4* f);
// Sets or clears the field's bit in _NullFlags (no-op for fields that are
// not nullable).
void f4setNullBit(FIELD4* f, bool isNull);
