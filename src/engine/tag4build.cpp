#include "engine/tag4build.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "engine/code4.h"
#include "engine/error4.h"

namespace tag4 {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

struct Writer {
  TAG4FILE* t;
  FILE4SEQ_WRITE* w;
  int64_t* nextBlock;
  std::array<uint8_t, cdx::kBlock> buf{};

  int put(const cdx::Node& n) {
    if (!cdx::encodeNode(n, t->keyLen, t->fill, buf))
      return error4describe(t->indexFile->codeBase, e4result, 0, t->indexFile->file.name.c_str());
    int rc = file4seqWrite(w, buf.data(), buf.size());
    *nextBlock += cdx::kBlock;
    return rc;
  }
};

int trailing(const char* k, int len, uint8_t fill) {
  int n = 0;
  while (n < len && uint8_t(k[len - 1 - n]) == fill) n++;
  return n;
}

}  // namespace

int build(TAG4FILE* t, FILE4SEQ_WRITE* w, int64_t* nextBlock, uint32_t recCount,
          const EntrySource& next, uint32_t* root) {
  Writer out{t, w, nextBlock};
  const int keyLen = t->keyLen;
  cdx::Node leaf;
  leaf.attr = cdx::kAttrLeaf;
  leaf.params = cdx::chooseLeafParams(keyLen, recCount);
  const cdx::LeafParams& lp = leaf.params;
  std::vector<cdx::NodeEntry> upper;  // (last key, recno, child) of each node below
  int used = 0;
  uint32_t prevLeaf = kNone;
  const char* key;
  uint32_t recno;
  int rc;
  auto flushLeaf = [&](bool more) -> int {
    uint32_t self = uint32_t(*nextBlock);
    leaf.left = prevLeaf;
    leaf.right = more ? self + cdx::kBlock : kNone;
    if (!more && upper.empty()) leaf.attr = cdx::kAttrLeaf | cdx::kAttrRoot;
    if (!leaf.entries.empty())
      upper.push_back({leaf.entries.back().key, leaf.entries.back().recno, self});
    else
      upper.push_back({std::string(size_t(keyLen), char(t->fill)), 0, self});
    int r = out.put(leaf);
    prevLeaf = self;
    leaf.entries.clear();
    used = 0;
    return r;
  };
  while ((rc = next(&key, &recno)) == 0) {
    if (recno > lp.recMask) return error4describe(t->indexFile->codeBase, e4result, 0, "tag4build");
    int trail = std::min(trailing(key, keyLen, t->fill), int(lp.trailMask));
    int dup = 0;
    if (!leaf.entries.empty()) {
      const std::string& prev = leaf.entries.back().key;
      int limit = std::min(keyLen - trail, int(lp.dupMask));
      while (dup < limit && prev[size_t(dup)] == key[dup]) dup++;
    }
    int need = lp.entrySize + keyLen - dup - trail;
    if (!leaf.entries.empty() && used + need > cdx::kLeafSpace) {
      rc = flushLeaf(true);
      if (rc) return rc;
      need = lp.entrySize + keyLen - trail;
    }
    leaf.entries.push_back({std::string(key, size_t(keyLen)), recno, 0});
    used += need;
  }
  if (rc != 1) return rc;
  if (upper.empty() || !leaf.entries.empty()) {
    rc = flushLeaf(false);
    if (rc) return rc;
  }
  if (upper.size() == 1) {
    *root = upper[0].child;
    return 0;
  }
  const size_t cap = size_t(cdx::interiorCapacity(keyLen));
  while (upper.size() > 1) {
    std::vector<cdx::NodeEntry> level;
    size_t nodes = (upper.size() + cap - 1) / cap;
    size_t per = (upper.size() + nodes - 1) / nodes;
    uint32_t prev = kNone;
    for (size_t i = 0; i < upper.size(); i += per) {
      cdx::Node n;
      n.attr = nodes == 1 ? cdx::kAttrRoot : 0;
      size_t end = std::min(upper.size(), i + per);
      n.entries.assign(upper.begin() + long(i), upper.begin() + long(end));
      uint32_t self = uint32_t(*nextBlock);
      n.left = prev;
      n.right = end < upper.size() ? self + cdx::kBlock : kNone;
      level.push_back({n.entries.back().key, n.entries.back().recno, self});
      rc = out.put(n);
      if (rc) return rc;
      prev = self;
    }
    upper = std::move(level);
  }
  *root = upper[0].child;
  return 0;
}

}  // namespace tag4
