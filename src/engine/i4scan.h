// Bulk pass over a data file's records for the index module (builds and
// unique-tag repairs): records are read in large chunks and each is made the
// handle's record buffer in turn, so key and filter expressions evaluate
// over it. The handle's own record buffer and record number are restored
// afterwards; memo contents are not touched, so expressions that read memo
// fields must not be evaluated through this pass unless resetMemos is set.
#pragma once

#include <cstdint>
#include <functional>

struct DATA4;

// Calls visit(recno) for records first..last; a non-zero result of visit
// stops the pass and is returned. 0 or error.
[[nodiscard]] int i4forEachRecord(DATA4* d, uint32_t first, uint32_t last, bool resetMemos,
                                  const std::function<int(uint32_t)>& visit);
