// A handle's position in a tag, in the tag's logical order (descending tags
// are stored ascending and read backwards).
//
// Every operation first refreshes the index file's cache when this process
// does not hold the index lock (another process may have changed it) and
// finds its entry again when the cache changed since it was positioned.
// Results: 0, r4eof (3) when there is no entry in that direction, or error.
#pragma once

#include <string_view>

#include "engine/index4.h"

namespace tag4 {

[[nodiscard]] int top(TAG4* t);
[[nodiscard]] int bottom(TAG4* t);
// Moves n entries; *moved gets the number actually moved (fewer at either
// end, where the position stays on the last entry reached).
[[nodiscard]] int skip(TAG4* t, long n, long* moved);
// Positions on the first entry (in logical order) whose key starts with
// key[0, cmpLen): 0 found, 2 on a greater key, 3 none.
[[nodiscard]] int seek(TAG4* t, std::string_view key, int cmpLen);
// Positions on (key, recno) exactly, or where it would be; 0 or 3 / error.
[[nodiscard]] int go(TAG4* t, std::string_view key, unsigned recno);
// Refreshes the cache unless the index lock is held; 0 or error.
[[nodiscard]] int prepare(TAG4* t);

}  // namespace tag4
