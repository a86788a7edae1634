// The gateway's table of engine messages: which text the user sees for an
// engine error code and location number.
//
// 132 rows, sorted by code from the highest to the lowest and, within one
// code, by location from the lowest to the highest. The binary search in
// lookupEngineMessage depends on that order; the tests check it.
#pragma once

#include <cstdint>
#include <span>

struct EngineMessageRow {
  int32_t code;
  int32_t location;  // 0 in the general row of a code
  uint32_t flags;    // kServesEveryLocation | kAppendSystemMessage | kIsFormat
  const char* text;  // translatable, with its leading "*"
};

// The row also answers every location of its code that has no row of its own.
constexpr uint32_t kServesEveryLocation = 1;
// The operating system's description of its last error is appended.
constexpr uint32_t kAppendSystemMessage = 4;
// The text is a format filled with code, location and the three texts.
// No row sets it; kept so the flag keeps its meaning in the table.
constexpr uint32_t kIsFormat = 8;

std::span<const EngineMessageRow> engineMessageTable();

// Index of the row for (code, location), or -1.
int lookupEngineMessage(int32_t code, int32_t location);
