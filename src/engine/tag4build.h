// Bottom-up writing of a whole tag tree from entries in key order (index
// builds). Leaves are filled as far as they go, then the interior levels
// are written above them; nodes go to consecutive blocks.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/file4seq.h"
#include "engine/index4.h"

namespace tag4 {

// Supplies the next entry: 0 with *key (keyLen bytes) and *recno, 1 at the
// end, or an error.
using EntrySource = std::function<int(const char** key, uint32_t* recno)>;

// Writes the tree of t through w, whose position is *nextBlock (advanced by
// 512 per node). Sets *root. 0 or error.
[[nodiscard]] int build(TAG4FILE* t, FILE4SEQ_WRITE* w, int64_t* nextBlock, uint32_t recCount,
                        const EntrySource& next, uint32_t* root);

}  // namespace tag4
