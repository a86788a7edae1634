// Compact compound index (.cdx) format: pure codecs over byte spans.
//
// FILE LAYOUT (all block numbers are byte offsets into the file)
//
//   offset      size  content
//   0           1024  header of the directory tag (tag of tags)
//   1024 * n    1024  header of tag n, when this engine builds the file
//   afterwards   512  interior and leaf nodes of all tags
//
// Other writers may place each tag header just before its own nodes at any
// 512-byte boundary; the reader follows the directory's offsets only.
//
// TAG HEADER (1024 bytes)
//
//   off  size  order  meaning
//   0    4     LE     root node offset
//   4    4     LE     free-list head (directory header only; 0 or -1 = none)
//   8    4     BE     change counter
//   12   2     LE     key length
//   14   1            options: 0x01 unique, 0x04 candidate, 0x08 filter,
//                     0x20 compact, 0x40 compound, 0x80 directory
//   15   1            signature (written as 1)
//   494  8            collation name: empty or "GENERAL"
//   502  2     LE     1 descending, 0 ascending
//   504  2     LE     offset of the filter text in the expression area
//   506  2     LE     filter text length + 1 (1 = no filter)
//   510  2     LE     key text length + 1
//   512  512          expression area: key text, NUL, filter text, NUL
//
// NODE (512 bytes), common part
//
//   off  size  order  meaning
//   0    2     LE     attribute: 0 interior, 1 root, 2 leaf, 3 root leaf
//   2    2     LE     key count
//   4    4     LE     left sibling (-1 none)
//   8    4     LE     right sibling (-1 none)
//
// INTERIOR NODE: from offset 12, count entries of (key length + 8) bytes:
//   key bytes, record number (4, BIG-endian), child offset (4, BIG-endian).
//   Each entry holds the last key of its child and that key's record number.
//
// LEAF NODE
//
//   off  size  order  meaning
//   12   2     LE     free bytes
//   14   4     LE     record-number mask
//   18   1            duplicate-count mask
//   19   1            trailing-count mask
//   20   1            record-number bits
//   21   1            duplicate-count bits
//   22   1            trailing-count bits
//   23   1            entry size in bytes
//   24   ...          count packed entries, each a LITTLE-endian bit field of
//                     entry-size bytes: record number (low bits), duplicate
//                     count, trailing count
//   ...  ...          key tails, packed from the END of the block backwards
//                     (the first entry's tail occupies the last bytes)
//
// A leaf key is the previous key's first `dup` bytes, then its tail, then
// `trail` fill bytes. The first key of every leaf has dup 0. The fill byte is
// a blank for character tags and 0 for every other key type.
//
// Every multi-byte field is read and written through coding4's bounded
// codecs, so a count, width or offset taken from a damaged file makes a
// decode fail (the caller reports -310) instead of reading past the block.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine/coding4.h"

namespace cdx {

inline constexpr int kBlock = 512;
inline constexpr int kHeaderSize = 1024;
inline constexpr int kLeafSpace = 488;  // bytes after the 24-byte leaf header
inline constexpr int kMaxKeyLen = 240;

inline constexpr uint8_t kOptUnique = 0x01;
inline constexpr uint8_t kOptCandidate = 0x04;
inline constexpr uint8_t kOptFilter = 0x08;
inline constexpr uint8_t kOptCompact = 0x20;
inline constexpr uint8_t kOptCompound = 0x40;
inline constexpr uint8_t kOptDirectory = 0x80;

inline constexpr uint16_t kAttrRoot = 1;
inline constexpr uint16_t kAttrLeaf = 2;

// Eight bytes as a big-endian word: such words order as their bytes do.
inline uint64_t getBE64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
}

// Keys order as unsigned bytes. This is memcmp without the library call, a
// word at a time: descents and sorts compare short keys millions of times.
inline int compareKeyBytes(const char* a, const char* b, size_t n) {
  for (; n >= 8; n -= 8, a += 8, b += 8) {
    uint64_t x = getBE64(a), y = getBE64(b);
    if (x != y) return x < y ? -1 : 1;
  }
  for (; n > 0; n--, a++, b++)
    if (*a != *b) return uint8_t(*a) < uint8_t(*b) ? -1 : 1;
  return 0;
}

struct TagHeader {
  uint32_t root = 0;
  uint32_t freeList = 0;
  uint32_t changeCounter = 0;
  uint16_t keyLen = 0;
  uint8_t options = 0;
  uint8_t signature = 1;
  std::string collation;  // "" or "GENERAL"
  bool descending = false;
  std::string keyExpr;
  std::string filterExpr;
};

// Decodes a 1024-byte header; false when the expression area's offsets or
// lengths do not fit (the caller reports -310).
[[nodiscard]] bool decodeTagHeader(std::span<const uint8_t> bytes, TagHeader& out);
[[nodiscard]] bool encodeTagHeader(const TagHeader& h, std::span<uint8_t> out);  // 1024 bytes
// The first 16 bytes only (root, free list, counter, key length, options).
[[nodiscard]] bool encodeTagHeaderHead(const TagHeader& h, std::span<uint8_t> out);

struct LeafParams {
  uint32_t recMask = 0;
  uint8_t dupMask = 0, trailMask = 0;
  uint8_t recBits = 0, dupBits = 0, trailBits = 0;
  uint8_t entrySize = 0;
};

// Parameters for a new leaf of a tag with this key length in a data file
// with this many records.
LeafParams chooseLeafParams(int keyLen, uint32_t recordCount);

struct NodeEntry {
  std::string key;  // always keyLen bytes
  uint32_t recno = 0;
  uint32_t child = 0;  // interior nodes only
};

struct Node {
  uint16_t attr = 0;
  uint32_t left = 0xFFFFFFFF, right = 0xFFFFFFFF;
  LeafParams params;  // leaves only
  std::vector<NodeEntry> entries;
  bool isLeaf() const { return (attr & kAttrLeaf) != 0; }
  bool isRoot() const { return (attr & kAttrRoot) != 0; }
};

// Decodes a 512-byte node; false on any count, parameter or length that does
// not fit the block. fill is the key fill byte.
[[nodiscard]] bool decodeNode(std::span<const uint8_t> block, int keyLen, uint8_t fill, Node& out);

// Encodes a node into 512 bytes; false when its entries do not fit (the
// caller splits). Leaf parameters are taken from node.params; a record number
// beyond the mask makes this return false too (see fitLeafParams).
[[nodiscard]] bool encodeNode(const Node& node, int keyLen, uint8_t fill, std::span<uint8_t> block);

// Brings the block encodeNode last wrote for a leaf up to date after
// entries were inserted or removed at one place (delta: the change in the
// entry count). Node entries [from, from + fresh) are encoded; the block's
// entries after them keep their packed counts and tails and only move, so
// `fresh` must reach past the first entry whose predecessor changed. The
// block then equals what encodeNode would write. False when the block has
// other parameters, the entries do not fit or a record number exceeds the
// mask; the block is then undefined. On success *changedTo bounds what
// changed: the bytes from it to the block's end are as they were.
[[nodiscard]] bool spliceLeaf(std::span<uint8_t> block, const Node& node, int keyLen, uint8_t fill,
                              size_t from, size_t fresh, int delta, int* changedTo);

// Writes entry i of an interior node into its encoded block, in place;
// returns the offset of its bytes (keyLen + 8 of them).
[[nodiscard]] int putInteriorEntry(std::span<uint8_t> block, int keyLen, size_t i, const NodeEntry& e);

// Bytes a leaf's entries and key tails take with its parameters (what
// encodeNode would use), or -1 when a record number exceeds the mask.
int leafBytes(const Node& node, int keyLen, uint8_t fill);

// Widens node.params when a record number does not fit its mask.
void fitLeafParams(Node& node, int keyLen);

// Largest entry count of an interior node.
inline int interiorCapacity(int keyLen) { return (kBlock - 12) / (keyLen + 8); }

}  // namespace cdx
