// Consistency check of a handle's index files against its data file.
//
// For every tag: the entries are in key order; every entry points at an
// existing record whose key (recomputed) equals the entry's key and which
// passes the filter; the entry count equals the number of records that pass
// the filter (distinct keys for unique tags); every key is found again by a
// seek from the root. Problems are described one per line through report.
#pragma once

#include <functional>
#include <string>

struct DATA4;

// Returns 0 when consistent, 1 when a problem was found, or an engine error
// (the index file could not be read at all).
[[nodiscard]] int i4check(DATA4* d, const std::function<void(const std::string&)>& report);
