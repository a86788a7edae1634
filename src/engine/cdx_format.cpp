#include "engine/cdx_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace cdx {

using coding4::Bytes;
using coding4::getBe;
using coding4::getLe;
using coding4::MutableBytes;
using coding4::putBe;
using coding4::putLe;

namespace {

int bitsFor(uint32_t v) {
  int n = 0;
  while (v) {
    n++;
    v >>= 1;
  }
  return n;
}

// Common prefix of a and b, at most limit bytes; a word at a time, as
// neighbouring keys share most of their bytes.
int commonPrefix(const std::string& a, const std::string& b, int limit) {
  int n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    const int words = int(std::min(a.size(), b.size())) - 8;
    for (; n < limit && n <= words; n += 8) {
      uint64_t x, y;
      std::memcpy(&x, a.data() + n, 8);
      std::memcpy(&y, b.data() + n, 8);
      if (x != y) return std::min(limit, n + std::countr_zero(x ^ y) / 8);
    }
    if (n >= limit) return limit;
  }
  while (n < limit && a[size_t(n)] == b[size_t(n)]) n++;
  return n;
}

// The fields of packed leaf entry i: record number (masked), duplicate and
// trailing counts.
struct PackedEntry {
  uint32_t recno;
  int dup, trail;
};
PackedEntry fieldsOf(uint64_t v, const LeafParams& lp) {
  const uint64_t recMask = lp.recBits >= 32 ? 0xFFFFFFFFull : ((1ull << lp.recBits) - 1);
  return {uint32_t(v & recMask) & lp.recMask, int((v >> lp.recBits) & ((1u << lp.dupBits) - 1)),
          int((v >> (lp.recBits + lp.dupBits)) & ((1u << lp.trailBits) - 1))};
}
bool unpackEntry(Bytes b, const LeafParams& lp, size_t i, PackedEntry* out) {
  uint64_t v = 0;
  if (!coding4::getLeWidth(b, 24 + i * lp.entrySize, lp.entrySize, &v)) return false;
  *out = fieldsOf(v, lp);
  return true;
}

// The text of a NUL-terminated field of at most max bytes at offset.
std::string textAt(Bytes b, size_t offset, size_t max) {
  if (offset > b.size()) return {};
  Bytes field = b.subspan(offset, std::min(max, b.size() - offset));
  auto end = std::find(field.begin(), field.end(), uint8_t(0));
  return std::string(field.begin(), end);
}

int trailingFill(const std::string& key, uint8_t fill) {
  size_t i = key.size();
  if constexpr (std::endian::native == std::endian::little) {
    const uint64_t fills = 0x0101010101010101ull * fill;
    for (; i >= 8; i -= 8) {
      uint64_t w;
      std::memcpy(&w, key.data() + i - 8, 8);
      if (w != fills) return int(key.size() - i) + std::countl_zero(w ^ fills) / 8;
    }
  }
  while (i > 0 && uint8_t(key[i - 1]) == fill) i--;
  return int(key.size() - i);
}

}  // namespace

bool decodeTagHeader(std::span<const uint8_t> b, TagHeader& h) {
  if (b.size() < size_t(kHeaderSize)) return false;
  b = b.first(size_t(kHeaderSize));
  uint16_t descending = 0, filterOff = 0, filterLen = 0, keyLen = 0;
  if (!getLe(b, 0, &h.root) || !getLe(b, 4, &h.freeList) || !getBe(b, 8, &h.changeCounter) ||
      !getLe(b, 12, &h.keyLen) || !getLe(b, 14, &h.options) || !getLe(b, 15, &h.signature) ||
      !getLe(b, 502, &descending) || !getLe(b, 504, &filterOff) || !getLe(b, 506, &filterLen) ||
      !getLe(b, 510, &keyLen))
    return false;
  h.collation = textAt(b, 494, 8);
  h.descending = descending != 0;
  constexpr size_t kArea = 512;  // the expression area, to the header's end
  if (keyLen > kArea) return false;
  h.keyExpr = textAt(b, kArea, keyLen);
  h.filterExpr.clear();
  if (filterLen > 1) {
    if (size_t(filterOff) + filterLen > kArea) return false;
    h.filterExpr = textAt(b, kArea + filterOff, filterLen);
  }
  return true;
}

bool encodeTagHeaderHead(const TagHeader& h, std::span<uint8_t> b) {
  return putLe(b, 0, h.root) && putLe(b, 4, h.freeList) && putBe(b, 8, h.changeCounter) &&
         putLe(b, 12, h.keyLen) && putLe(b, 14, h.options) && putLe(b, 15, h.signature);
}

bool encodeTagHeader(const TagHeader& h, std::span<uint8_t> b) {
  if (b.size() < size_t(kHeaderSize)) return false;
  std::fill(b.begin(), b.begin() + kHeaderSize, uint8_t(0));
  size_t keyLen = std::min<size_t>(h.keyExpr.size(), 510);
  size_t filterLen = std::min<size_t>(h.filterExpr.size(), 510 - keyLen);
  if (!encodeTagHeaderHead(h, b) || !putLe(b, 502, uint16_t(h.descending ? 1 : 0)) ||
      !putLe(b, 504, uint16_t(keyLen + 1)) || !putLe(b, 506, uint16_t(filterLen + 1)) ||
      !putLe(b, 510, uint16_t(keyLen + 1)))
    return false;
  std::memcpy(&b[494], h.collation.data(), std::min<size_t>(h.collation.size(), 8));
  std::memcpy(&b[512], h.keyExpr.data(), keyLen);
  std::memcpy(&b[512 + keyLen + 1], h.filterExpr.data(), filterLen);
  return true;
}

LeafParams chooseLeafParams(int keyLen, uint32_t recordCount) {
  LeafParams p;
  int kb = bitsFor(uint32_t(keyLen));
  int rb = bitsFor(recordCount) + ((-2 * kb) % 8 + 8) % 8;
  if (rb < 12) rb = 12;
  while ((rb + 2 * kb) % 8 != 0) rb++;
  if (rb > 32) rb = 32;
  p.dupBits = p.trailBits = uint8_t(kb);
  p.dupMask = p.trailMask = uint8_t((1u << kb) - 1);
  p.recBits = uint8_t(rb);
  p.recMask = rb >= 32 ? 0xFFFFFFFFu : (1u << rb) - 1;
  p.entrySize = uint8_t((rb + 2 * kb) / 8);
  return p;
}

void fitLeafParams(Node& node, int keyLen) {
  uint32_t maxRec = 0;
  for (const auto& e : node.entries) maxRec = std::max(maxRec, e.recno);
  bool masksOk = node.params.entrySize != 0 && node.params.dupMask != 0 &&
                 node.params.trailMask != 0;
  if (masksOk && maxRec <= node.params.recMask) return;
  node.params = chooseLeafParams(keyLen, std::max(maxRec, node.params.recMask));
}

int leafBytes(const Node& n, int keyLen, uint8_t fill) {
  const LeafParams& lp = n.params;
  int used = 0;
  const std::string* prev = nullptr;
  for (const auto& e : n.entries) {
    if (e.recno > lp.recMask) return -1;
    int trail = std::min(trailingFill(e.key, fill), int(lp.trailMask));
    int dup = prev ? std::min(commonPrefix(*prev, e.key, keyLen - trail), int(lp.dupMask)) : 0;
    used += lp.entrySize + keyLen - dup - trail;
    prev = &e.key;
  }
  return used;
}

bool decodeNode(std::span<const uint8_t> b, int keyLen, uint8_t fill, Node& n) {
  if (b.size() < size_t(kBlock) || keyLen <= 0 || keyLen > kMaxKeyLen) return false;
  b = b.first(size_t(kBlock));
  uint16_t count = 0;
  n.entries.clear();
  if (!getLe(b, 0, &n.attr) || !getLe(b, 2, &count) || !getLe(b, 4, &n.left) || !getLe(b, 8, &n.right))
    return false;
  if (n.attr > 3) return false;
  if (!n.isLeaf()) {
    if (count > interiorCapacity(keyLen)) return false;
    n.entries.resize(size_t(count));
    size_t at = 12;
    for (auto& e : n.entries) {
      if (!coding4::fits(b.size(), at, size_t(keyLen) + 8) || !getBe(b, at + size_t(keyLen), &e.recno) ||
          !getBe(b, at + size_t(keyLen) + 4, &e.child))
        return false;
      e.key.assign(b.begin() + ptrdiff_t(at), b.begin() + ptrdiff_t(at) + keyLen);
      at += size_t(keyLen) + 8;
    }
    return true;
  }
  LeafParams& lp = n.params;
  uint16_t freeBytes = 0;
  if (!getLe(b, 12, &freeBytes) || !getLe(b, 14, &lp.recMask) || !getLe(b, 18, &lp.dupMask) ||
      !getLe(b, 19, &lp.trailMask) || !getLe(b, 20, &lp.recBits) || !getLe(b, 21, &lp.dupBits) ||
      !getLe(b, 22, &lp.trailBits) || !getLe(b, 23, &lp.entrySize))
    return false;
  int totalBits = lp.recBits + lp.dupBits + lp.trailBits;
  if (lp.entrySize == 0 || lp.entrySize > 8 || totalBits > lp.entrySize * 8 ||
      lp.recBits > 32 || lp.dupBits > 8 || lp.trailBits > 8)
    return false;
  if (count * lp.entrySize > kLeafSpace || freeBytes > kLeafSpace) return false;
  n.entries.resize(size_t(count));
  int tailEnd = kBlock;  // tails grow down from here
  int entriesEnd = 24 + count * lp.entrySize;
  std::string prev;
  for (int i = 0; i < count; i++) {
    PackedEntry packed;
    if (!unpackEntry(b, lp, size_t(i), &packed)) return false;
    auto [rec, dup, trail] = packed;
    if (dup + trail > keyLen || (i == 0 && dup != 0)) return false;
    int tail = keyLen - dup - trail;
    tailEnd -= tail;
    if (tailEnd < entriesEnd || !coding4::fits(b.size(), size_t(tailEnd), size_t(tail))) return false;
    std::string key;
    key.reserve(size_t(keyLen));
    key.append(prev, 0, size_t(dup));
    key.append(b.begin() + tailEnd, b.begin() + tailEnd + tail);
    key.append(size_t(trail), char(fill));
    n.entries[size_t(i)].key = key;
    n.entries[size_t(i)].recno = rec;
    prev = std::move(key);
  }
  return true;
}

namespace {

// Writes one leaf entry: its packed record number, dup and trail counts at
// pos and its key tail just below tailEnd. Returns the new tailEnd, or -1
// when the entry does not fit between pos and tailEnd.
int putLeafEntry(MutableBytes b, const LeafParams& lp, int keyLen, uint8_t fill, const std::string* prev,
                 const std::string& key, uint32_t recno, int pos, int tailEnd) {
  int trail = std::min(trailingFill(key, fill), int(lp.trailMask));
  int dup = prev ? std::min(commonPrefix(*prev, key, keyLen - trail), int(lp.dupMask)) : 0;
  int tail = keyLen - dup - trail;
  if (pos < 0 || pos + lp.entrySize > tailEnd - tail || !coding4::fits(b.size(), size_t(tailEnd), 0)) return -1;
  tailEnd -= tail;
  std::copy_n(key.data() + dup, tail, b.begin() + tailEnd);
  uint64_t v = uint64_t(recno) | uint64_t(dup) << lp.recBits | uint64_t(trail) << (lp.recBits + lp.dupBits);
  if (!coding4::putLeWidth(b, size_t(pos), lp.entrySize, v)) return -1;
  return tailEnd;
}

[[nodiscard]] bool putLeafParams(MutableBytes b, const LeafParams& lp) {
  return putLe(b, 14, lp.recMask) && putLe(b, 18, lp.dupMask) && putLe(b, 19, lp.trailMask) &&
         putLe(b, 20, lp.recBits) && putLe(b, 21, lp.dupBits) && putLe(b, 22, lp.trailBits) &&
         putLe(b, 23, lp.entrySize);
}

// Total key tail length of packed entries [begin, end) of a leaf block
// followed by at least 8 readable bytes: each entry is read as one
// little-endian word (the compiler makes it one load). False when an entry
// lies outside b.
bool tailBytes(Bytes b, const LeafParams& lp, int keyLen, int64_t begin, int64_t end, int* out) {
  int64_t total = 0;
  if (begin < 0) return false;
  size_t at = 24 + size_t(begin) * lp.entrySize;
  for (int64_t i = begin; i < end; i++, at += lp.entrySize) {
    uint64_t v = 0;
    if (!getLe(b, at, &v)) return false;
    PackedEntry e = fieldsOf(v, lp);
    total += keyLen - e.dup - e.trail;
  }
  *out = int(total);
  return true;
}

}  // namespace

bool spliceLeaf(std::span<uint8_t> b, const Node& n, int keyLen, uint8_t fill, size_t from, size_t fresh,
                int delta, int* changedTo) {
  const LeafParams& lp = n.params;
  if (b.size() < size_t(kBlock) || !n.isLeaf()) return false;
  b = b.first(size_t(kBlock));
  uint16_t attr = 0, blockCount = 0, blockFree = 0;
  if (!getLe(Bytes(b), 0, &attr) || !getLe(Bytes(b), 2, &blockCount) || !getLe(Bytes(b), 12, &blockFree) ||
      attr != n.attr)
    return false;
  if (lp.entrySize == 0 || lp.entrySize > 8) return false;
  uint8_t params[24] = {};
  if (!putLeafParams(params, lp) || !std::equal(params + 14, params + 24, b.begin() + 14)) return false;
  const size_t es = lp.entrySize;
  const int64_t oldCount = blockCount, count = int64_t(n.entries.size());
  if (oldCount + delta != count || int64_t(from) > count) return false;
  const int64_t freshEnd = std::min<int64_t>(count, int64_t(from + fresh));
  const int64_t movedFrom = freshEnd - delta;  // the first moved entry, in the block
  if (movedFrom < int64_t(from) || movedFrom > oldCount) return false;
  // The block as it was, with room to read whole words past its end.
  std::array<uint8_t, kBlock + 8> old{};
  std::copy(b.begin(), b.end(), old.begin());
  // Where the tails of the block's first k entries end, for k = from and
  // movedFrom, counted from the nearer end of the leaf.
  const int oldBottom = blockFree + 24 + int(oldCount) * int(es);
  if (oldBottom > kBlock) return false;
  int tailsFrom, tailsMoved, first, second;
  if (movedFrom <= oldCount - int64_t(from)) {
    if (!tailBytes(old, lp, keyLen, 0, int64_t(from), &first) ||
        !tailBytes(old, lp, keyLen, int64_t(from), movedFrom, &second))
      return false;
    tailsFrom = kBlock - first;
    tailsMoved = tailsFrom - second;
  } else {
    if (!tailBytes(old, lp, keyLen, movedFrom, oldCount, &first) ||
        !tailBytes(old, lp, keyLen, int64_t(from), movedFrom, &second))
      return false;
    tailsMoved = oldBottom + first;
    tailsFrom = tailsMoved + second;
  }
  if (tailsFrom > kBlock || tailsMoved < oldBottom || tailsMoved > tailsFrom) return false;
  int pos = 24 + int(from * es), tailEnd = tailsFrom;
  const std::string* prev = from > 0 ? &n.entries[from - 1].key : nullptr;
  for (int64_t i = int64_t(from); i < freshEnd; i++) {
    const NodeEntry& e = n.entries[size_t(i)];
    if (e.recno > lp.recMask) return false;
    tailEnd = putLeafEntry(b, lp, keyLen, fill, prev, e.key, e.recno, pos, tailEnd);
    if (tailEnd < 0) return false;
    pos += int(es);
    prev = &e.key;
  }
  const size_t movedBytes = size_t(oldCount - movedFrom) * es;
  const int movedTails = tailsMoved - oldBottom;
  if (pos + int(movedBytes) > tailEnd - movedTails) return false;
  std::copy_n(old.begin() + 24 + ptrdiff_t(size_t(movedFrom) * es), movedBytes, b.begin() + pos);
  pos += int(movedBytes);
  tailEnd -= movedTails;
  std::copy_n(old.begin() + oldBottom, movedTails, b.begin() + tailEnd);
  // What the old entries and tails left between the two is cleared, as a
  // full encode leaves it.
  std::fill(b.begin() + pos, b.begin() + tailEnd, uint8_t(0));
  if (!putLe(b, 2, uint16_t(count)) || !putLe(b, 12, uint16_t(tailEnd - pos))) return false;
  // Every byte written above lies below the tails of the entries before
  // `from`, which kept their place.
  *changedTo = tailsFrom;
  return true;
}

int putInteriorEntry(std::span<uint8_t> b, int keyLen, size_t i, const NodeEntry& e) {
  const size_t at = 12 + i * size_t(keyLen + 8);
  if (!coding4::fits(b.size(), at, size_t(keyLen) + 8) || e.key.size() < size_t(keyLen)) return -1;
  std::copy_n(e.key.data(), keyLen, b.begin() + ptrdiff_t(at));
  if (!putBe(b, at + size_t(keyLen), e.recno) || !putBe(b, at + size_t(keyLen) + 4, e.child)) return -1;
  return int(at);
}

bool encodeNode(const Node& n, int keyLen, uint8_t fill, std::span<uint8_t> b) {
  if (b.size() < size_t(kBlock)) return false;
  b = b.first(size_t(kBlock));
  std::fill(b.begin(), b.end(), uint8_t(0));
  if (!putLe(b, 0, n.attr) || !putLe(b, 2, uint16_t(n.entries.size())) || !putLe(b, 4, n.left) ||
      !putLe(b, 8, n.right))
    return false;
  if (!n.isLeaf()) {
    if (int(n.entries.size()) > interiorCapacity(keyLen)) return false;
    for (size_t i = 0; i < n.entries.size(); i++)
      if (putInteriorEntry(b, keyLen, i, n.entries[i]) < 0) return false;
    return true;
  }
  const LeafParams& lp = n.params;
  if (lp.entrySize == 0 || lp.entrySize > 8) return false;
  int pos = 24;
  int tailEnd = kBlock;
  const std::string* prev = nullptr;
  for (const auto& e : n.entries) {
    if (e.recno > lp.recMask) return false;
    tailEnd = putLeafEntry(b, lp, keyLen, fill, prev, e.key, e.recno, pos, tailEnd);
    if (tailEnd < 0) return false;
    pos += lp.entrySize;
    prev = &e.key;
  }
  return putLe(b, 12, uint16_t(tailEnd - pos)) && putLeafParams(b, lp);
}

}  // namespace cdx
