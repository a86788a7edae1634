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

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index4.h"

namespace tag4 {

inline constexpr int kMaxDepth = 32;

struct Level {
  uint32_t node = 0;
  int index = 0;
};

// The nodes of one descent, root first. Descents are bounded in depth, so a
// path never allocates.
class Path {
 public:
  void clear() { size_ = 0; }
  void push_back(Level l) { levels_[size_++] = l; }
  size_t size() const { return size_; }
  Level& back() { return levels_[size_ - 1]; }
  const Level& back() const { return levels_[size_ - 1]; }
  Level& operator[](size_t i) { return levels_[i]; }
  const Level& operator[](size_t i) const { return levels_[i]; }

 private:
  std::array<Level, kMaxDepth + 1> levels_;
  size_t size_ = 0;
};

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

// Adds (key, recno); 0 or error. Given `duplicate`, an entry of this key
// for another record is looked for first: when there is one, *duplicate is
// set and nothing is added.
[[nodiscard]] int insert(TAG4FILE* t, const std::string& key, uint32_t recno, bool* duplicate = nullptr);
// Removes (key, recno); 0, 1 when there is no such entry, or error.
[[nodiscard]] int remove(TAG4FILE* t, const std::string& key, uint32_t recno);

// Compares an entry with a target: key over cmpLen bytes, then record number
// when useRecno.
int compare(const cdx::NodeEntry& e, std::string_view key, int cmpLen, bool useRecno,
            uint32_t recno);

}  // namespace tag4
