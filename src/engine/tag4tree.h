// B-tree operations on one tag of a compact index: descend, step through
// leaves, insert and remove entries (splitting full nodes and freeing empty
// ones). Entries are ordered by key (unsigned bytes), then record number;
// descending tags are stored in the same ascending order and read backwards
// by the callers.
//
// The caller holds the index lock for insert and remove and has refreshed
// the cache (index4refresh) before reading. Every node is checked as it is
// read; a corrupt tree gives -310 and is never followed blindly: descents
// are bounded in depth and leaf walks check their sibling back-links.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index4.h"

namespace tag4 {

struct Level {
  uint32_t node;
  int index;
};
using Path = std::vector<Level>;

// A leaf position: node and entry index (index == count means "past the
// entries of this leaf", normalised by step()).
struct Pos {
  uint32_t leaf = 0;
  int index = 0;
};

// Descends to the first entry >= key (compared over cmpLen bytes; with
// useRecno, equal keys are then ordered by record number). path.back() is
// the leaf level. 0 or error.
[[nodiscard]] int descend(TAG4FILE* t, std::string_view key, int cmpLen, bool useRecno,
                          uint32_t recno, Path& path);
// First or last entry of the tag; returns 0, r4eof (3) for an empty tag, or
// an error.
[[nodiscard]] int first(TAG4FILE* t, Pos& p);
[[nodiscard]] int last(TAG4FILE* t, Pos& p);
// Normalises a position (index == count moves to the next leaf): 0, 3 past
// the end, or an error.
[[nodiscard]] int normalise(TAG4FILE* t, Pos& p);
// Moves one entry forward (dir 1) or back (dir -1): 0, 3 (no more entries in
// that direction; p unchanged) or error.
[[nodiscard]] int step(TAG4FILE* t, Pos& p, int dir);
// The entry at a normalised position, or null with *rc set.
const cdx::NodeEntry* entry(TAG4FILE* t, const Pos& p, int* rc);

// Adds (key, recno); 0 or error.
[[nodiscard]] int insert(TAG4FILE* t, const std::string& key, uint32_t recno);
// Removes (key, recno); 0, 1 when there is no such entry, or error.
[[nodiscard]] int remove(TAG4FILE* t, const std::string& key, uint32_t recno);
// True when an entry with this key (any record number other than
// exceptRecno) exists; sets *found. 0 or error.
[[nodiscard]] int hasKey(TAG4FILE* t, const std::string& key, uint32_t exceptRecno, bool* found);

// Compares an entry with a target: key over cmpLen bytes, then record number
// when useRecno.
int compare(const cdx::NodeEntry& e, std::string_view key, int cmpLen, bool useRecno,
            uint32_t recno);

}  // namespace tag4
