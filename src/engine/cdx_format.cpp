#include "engine/cdx_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace cdx {

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
PackedEntry unpackEntry(const uint8_t* b, const LeafParams& lp, size_t i) {
  uint64_t v = 0;
  const uint8_t* p = b + 24 + i * lp.entrySize;
  for (int k = lp.entrySize - 1; k >= 0; k--) v = (v << 8) | p[k];
  return fieldsOf(v, lp);
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
  h.root = getLE32(&b[0]);
  h.freeList = getLE32(&b[4]);
  h.changeCounter = getBE32(&b[8]);
  h.keyLen = getLE16(&b[12]);
  h.options = b[14];
  h.signature = b[15];
  const char* coll = reinterpret_cast<const char*>(&b[494]);
  h.collation.assign(coll, strnlen(coll, 8));
  h.descending = getLE16(&b[502]) != 0;
  int filterOff = getLE16(&b[504]);
  int filterLen = getLE16(&b[506]);
  int keyLen = getLE16(&b[510]);
  const char* area = reinterpret_cast<const char*>(&b[512]);
  if (keyLen > 512) return false;
  h.keyExpr.assign(area, strnlen(area, size_t(std::max(keyLen, 0))));
  h.filterExpr.clear();
  if (filterLen > 1) {
    if (filterOff < 0 || filterOff + filterLen > 512) return false;
    const char* f = area + filterOff;
    h.filterExpr.assign(f, strnlen(f, size_t(filterLen)));
  }
  return true;
}

void encodeTagHeaderHead(const TagHeader& h, std::span<uint8_t> b) {
  putLE32(&b[0], h.root);
  putLE32(&b[4], h.freeList);
  putBE32(&b[8], h.changeCounter);
  putLE16(&b[12], h.keyLen);
  b[14] = h.options;
  b[15] = h.signature;
}

void encodeTagHeader(const TagHeader& h, std::span<uint8_t> b) {
  std::fill(b.begin(), b.begin() + kHeaderSize, uint8_t(0));
  encodeTagHeaderHead(h, b);
  std::memcpy(&b[494], h.collation.data(), std::min<size_t>(h.collation.size(), 8));
  putLE16(&b[502], h.descending ? 1 : 0);
  size_t keyLen = std::min<size_t>(h.keyExpr.size(), 510);
  size_t filterLen = std::min<size_t>(h.filterExpr.size(), 510 - keyLen);
  putLE16(&b[504], uint16_t(keyLen + 1));
  putLE16(&b[506], uint16_t(filterLen + 1));
  putLE16(&b[510], uint16_t(keyLen + 1));
  std::memcpy(&b[512], h.keyExpr.data(), keyLen);
  std::memcpy(&b[512 + keyLen + 1], h.filterExpr.data(), filterLen);
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
  n.attr = getLE16(&b[0]);
  int count = getLE16(&b[2]);
  n.left = getLE32(&b[4]);
  n.right = getLE32(&b[8]);
  n.entries.clear();
  if (n.attr > 3) return false;
  if (!n.isLeaf()) {
    if (count > interiorCapacity(keyLen)) return false;
    n.entries.resize(size_t(count));
    const uint8_t* p = &b[12];
    for (auto& e : n.entries) {
      e.key.assign(reinterpret_cast<const char*>(p), size_t(keyLen));
      e.recno = getBE32(p + keyLen);
      e.child = getBE32(p + keyLen + 4);
      p += keyLen + 8;
    }
    return true;
  }
  LeafParams& lp = n.params;
  int freeBytes = getLE16(&b[12]);
  lp.recMask = getLE32(&b[14]);
  lp.dupMask = b[18];
  lp.trailMask = b[19];
  lp.recBits = b[20];
  lp.dupBits = b[21];
  lp.trailBits = b[22];
  lp.entrySize = b[23];
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
    auto [rec, dup, trail] = unpackEntry(b.data(), lp, size_t(i));
    if (dup + trail > keyLen || (i == 0 && dup != 0)) return false;
    int tail = keyLen - dup - trail;
    tailEnd -= tail;
    if (tailEnd < entriesEnd) return false;
    std::string key;
    key.reserve(size_t(keyLen));
    key.append(prev, 0, size_t(dup));
    key.append(reinterpret_cast<const char*>(&b[size_t(tailEnd)]), size_t(tail));
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
int putLeafEntry(uint8_t* b, const LeafParams& lp, int keyLen, uint8_t fill, const std::string* prev,
                 const std::string& key, uint32_t recno, int pos, int tailEnd) {
  int trail = std::min(trailingFill(key, fill), int(lp.trailMask));
  int dup = prev ? std::min(commonPrefix(*prev, key, keyLen - trail), int(lp.dupMask)) : 0;
  int tail = keyLen - dup - trail;
  if (pos + lp.entrySize > tailEnd - tail) return -1;
  tailEnd -= tail;
  std::memcpy(b + tailEnd, key.data() + dup, size_t(tail));
  uint64_t v = uint64_t(recno) | uint64_t(dup) << lp.recBits | uint64_t(trail) << (lp.recBits + lp.dupBits);
  for (int k = 0; k < lp.entrySize; k++) b[pos + k] = uint8_t(v >> (8 * k));
  return tailEnd;
}

void putLeafParams(uint8_t* b, const LeafParams& lp) {
  putLE32(&b[14], lp.recMask);
  b[18] = lp.dupMask;
  b[19] = lp.trailMask;
  b[20] = lp.recBits;
  b[21] = lp.dupBits;
  b[22] = lp.trailBits;
  b[23] = lp.entrySize;
}

// Total key tail length of packed entries [begin, end) of a leaf block
// followed by at least 8 readable bytes: each entry is read as one
// little-endian word.
int tailBytes(const uint8_t* b, const LeafParams& lp, int keyLen, int64_t begin, int64_t end) {
  int64_t total = 0;
  const uint8_t* p = b + 24 + begin * lp.entrySize;
  for (int64_t i = begin; i < end; i++, p += lp.entrySize) {
    uint64_t v = 0;
    for (int k = 7; k >= 0; k--) v = (v << 8) | p[k];  // compiles to one load
    PackedEntry e = fieldsOf(v, lp);
    total += keyLen - e.dup - e.trail;
  }
  return int(total);
}

}  // namespace

bool spliceLeaf(std::span<uint8_t> b, const Node& n, int keyLen, uint8_t fill, size_t from, size_t fresh,
                int delta, int* changedTo) {
  const LeafParams& lp = n.params;
  if (b.size() < size_t(kBlock) || !n.isLeaf() || getLE16(&b[0]) != n.attr) return false;
  if (lp.entrySize == 0 || lp.entrySize > 8) return false;
  uint8_t params[24];
  putLeafParams(params, lp);
  if (std::memcmp(params + 14, &b[14], 10) != 0) return false;
  const size_t es = lp.entrySize;
  const int64_t oldCount = getLE16(&b[2]), count = int64_t(n.entries.size());
  if (oldCount + delta != count || int64_t(from) > count) return false;
  const int64_t freshEnd = std::min<int64_t>(count, int64_t(from + fresh));
  const int64_t movedFrom = freshEnd - delta;  // the first moved entry, in the block
  if (movedFrom < int64_t(from) || movedFrom > oldCount) return false;
  // The block as it was, with room to read whole words past its end.
  uint8_t old[kBlock + 8];
  std::memcpy(old, b.data(), kBlock);
  std::memset(old + kBlock, 0, 8);
  // Where the tails of the block's first k entries end, for k = from and
  // movedFrom, counted from the nearer end of the leaf.
  const int oldBottom = getLE16(&b[12]) + 24 + int(oldCount) * int(es);
  if (oldBottom > kBlock) return false;
  int tailsFrom, tailsMoved;
  if (movedFrom <= oldCount - int64_t(from)) {
    tailsFrom = kBlock - tailBytes(old, lp, keyLen, 0, int64_t(from));
    tailsMoved = tailsFrom - tailBytes(old, lp, keyLen, int64_t(from), movedFrom);
  } else {
    tailsMoved = oldBottom + tailBytes(old, lp, keyLen, movedFrom, oldCount);
    tailsFrom = tailsMoved + tailBytes(old, lp, keyLen, int64_t(from), movedFrom);
  }
  if (tailsFrom > kBlock || tailsMoved < oldBottom || tailsMoved > tailsFrom) return false;
  int pos = 24 + int(from * es), tailEnd = tailsFrom;
  const std::string* prev = from > 0 ? &n.entries[from - 1].key : nullptr;
  for (int64_t i = int64_t(from); i < freshEnd; i++) {
    const NodeEntry& e = n.entries[size_t(i)];
    if (e.recno > lp.recMask) return false;
    tailEnd = putLeafEntry(b.data(), lp, keyLen, fill, prev, e.key, e.recno, pos, tailEnd);
    if (tailEnd < 0) return false;
    pos += int(es);
    prev = &e.key;
  }
  const size_t movedBytes = size_t(oldCount - movedFrom) * es;
  const int movedTails = tailsMoved - oldBottom;
  if (pos + int(movedBytes) > tailEnd - movedTails) return false;
  std::memcpy(&b[size_t(pos)], old + 24 + size_t(movedFrom) * es, movedBytes);
  pos += int(movedBytes);
  tailEnd -= movedTails;
  std::memcpy(&b[size_t(tailEnd)], old + oldBottom, size_t(movedTails));
  // What the old entries and tails left between the two is cleared, as a
  // full encode leaves it.
  std::fill(b.begin() + pos, b.begin() + tailEnd, uint8_t(0));
  putLE16(&b[2], uint16_t(count));
  putLE16(&b[12], uint16_t(tailEnd - pos));
  // Every byte written above lies below the tails of the entries before
  // `from`, which kept their place.
  *changedTo = tailsFrom;
  return true;
}

int putInteriorEntry(std::span<uint8_t> b, int keyLen, size_t i, const NodeEntry& e) {
  const size_t at = 12 + i * size_t(keyLen + 8);
  uint8_t* p = &b[at];
  std::memcpy(p, e.key.data(), size_t(keyLen));
  putBE32(p + keyLen, e.recno);
  putBE32(p + keyLen + 4, e.child);
  return int(at);
}

bool encodeNode(const Node& n, int keyLen, uint8_t fill, std::span<uint8_t> b) {
  std::fill(b.begin(), b.begin() + kBlock, uint8_t(0));
  putLE16(&b[0], n.attr);
  putLE16(&b[2], uint16_t(n.entries.size()));
  putLE32(&b[4], n.left);
  putLE32(&b[8], n.right);
  if (!n.isLeaf()) {
    if (int(n.entries.size()) > interiorCapacity(keyLen)) return false;
    for (size_t i = 0; i < n.entries.size(); i++) putInteriorEntry(b, keyLen, i, n.entries[i]);
    return true;
  }
  const LeafParams& lp = n.params;
  if (lp.entrySize == 0 || lp.entrySize > 8) return false;
  int pos = 24;
  int tailEnd = kBlock;
  const std::string* prev = nullptr;
  for (const auto& e : n.entries) {
    if (e.recno > lp.recMask) return false;
    tailEnd = putLeafEntry(b.data(), lp, keyLen, fill, prev, e.key, e.recno, pos, tailEnd);
    if (tailEnd < 0) return false;
    pos += lp.entrySize;
    prev = &e.key;
  }
  putLE16(&b[12], uint16_t(tailEnd - pos));
  putLeafParams(b.data(), lp);
  return true;
}

}  // namespace cdx
