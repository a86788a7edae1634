#include "engine/tag4tree.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/code4.h"
#include "engine/error4.h"

namespace tag4 {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

int corrupt(TAG4FILE* t) { return index4corrupt(t->indexFile, t); }

CachedNode* load(TAG4FILE* t, uint32_t off, int* rc) { return index4node(t->indexFile, t, off, rc); }

// Whether b comes after a in the tag's stored order (key bytes, then
// record number): every entry of a sound tag is after the one before it.
bool ascending(const cdx::NodeEntry& a, const cdx::NodeEntry& b, int keyLen) {
  size_t n = std::min({size_t(keyLen), a.key.size(), b.key.size()});
  int c = cdx::compareKeyBytes(a.key.data(), b.key.data(), n);
  return c < 0 || (c == 0 && a.recno < b.recno);
}

// Whether off is already on the path of a descent: a child pointer that
// leads back up is a cycle.
bool onPath(const Path& path, uint32_t off) {
  for (size_t i = 0; i < path.size(); i++)
    if (path[i].node == off) return true;
  return false;
}

bool fits(TAG4FILE* t, cdx::Node& n) {
  if (!n.isLeaf()) return int(n.entries.size()) <= cdx::interiorCapacity(t->keyLen);
  cdx::fitLeafParams(n, t->keyLen);
  // Entries that fit uncompressed fit compressed: no need to count.
  if (n.entries.size() * size_t(n.params.entrySize + t->keyLen) <= size_t(cdx::kLeafSpace)) return true;
  int used = cdx::leafBytes(n, t->keyLen, t->fill);
  return used >= 0 && used <= cdx::kLeafSpace;
}

// Blocks taken for one split and the splits it causes above it. Every
// block is taken before any node changes, so a failed allocation (a bad
// free list, the size limit, a read error) leaves the tree as it was.
struct Reserve {
  std::array<uint32_t, kMaxDepth + 2> blocks{};
  size_t count = 0, used = 0;
};

// A cached empty node at a reserved block.
CachedNode* newNode(TAG4FILE* t, Reserve& r, uint32_t* off) {
  *off = r.blocks[r.used++];
  auto n = std::make_unique<CachedNode>();
  n->offset = *off;
  n->keyLen = t->keyLen;
  n->fill = t->fill;
  CachedNode* p = t->indexFile->cache.put(std::move(n));
  index4markDirty(t->indexFile, p);
  return p;
}

// Gives back the blocks of a reserve that were not used.
void release(TAG4FILE* t, Reserve& r) {
  for (size_t i = r.used; i < r.count; i++) index4freeBlock(t->indexFile, r.blocks[i]);
  r.count = r.used;
}

cdx::LeafParams freshParams(TAG4FILE* t) {
  return cdx::chooseLeafParams(t->keyLen, t->indexFile->recCountHint);
}

// After node path[level] changed: propagates its last entry into the
// separators above while it is the last entry of each parent.
int updateSeparators(TAG4FILE* t, const Path& path, size_t level) {
  while (level > 0) {
    int rc = 0;
    CachedNode* child = load(t, path[level].node, &rc);
    CachedNode* parent = child ? load(t, path[level - 1].node, &rc) : nullptr;
    if (!parent) return rc;
    if (child->node.entries.empty()) return 0;
    const cdx::NodeEntry& lastE = child->node.entries.back();
    cdx::NodeEntry& sep = parent->node.entries[size_t(path[level - 1].index)];
    if (sep.key == lastE.key && sep.recno == lastE.recno) return 0;
    sep.key = lastE.key;
    sep.recno = lastE.recno;
    // A block as last encoded needs just this entry encoded and written.
    int at = parent->imageValid
                 ? cdx::putInteriorEntry(parent->image, t->keyLen, size_t(path[level - 1].index), sep)
                 : -1;
    if (at >= 0) {
      index4markImageChanged(t->indexFile, parent, at, at + t->keyLen + 8);
    } else {
      index4markDirty(t->indexFile, parent);
    }
    if (path[level - 1].index + 1 != int(parent->node.entries.size())) return 0;
    level--;
  }
  return 0;
}

// How to divide all between two nodes like proto so that both fit: the
// number of entries the left one keeps, or -1.
long splitPoint(TAG4FILE* t, const cdx::Node& proto, const std::vector<cdx::NodeEntry>& all, bool atEnd) {
  size_t n = all.size();
  cdx::Node l, r;
  l.attr = r.attr = proto.attr;
  l.params = proto.params;
  r.params = freshParams(t);
  size_t k = atEnd ? n - 1 : n / 2;
  for (int tries = 0; tries < int(n); tries++) {
    l.entries.assign(all.begin(), all.begin() + long(k));
    r.entries.assign(all.begin() + long(k), all.end());
    bool lf = fits(t, l), rf = fits(t, r);
    if (lf && rf) return long(k);
    if (!lf && k > 1) k--;
    else if (!rf && k + 1 < n) k++;
    else return -1;
  }
  return -1;
}

// Takes the blocks a split of path[level] needs: one for the new sibling,
// one more for each full parent above it, and one for a new root.
int reserve(TAG4FILE* t, const Path& path, size_t level, Reserve& r) {
  size_t need = 1;
  for (size_t l = level;; l--) {
    if (l == 0) {
      need++;  // the root splits: a new root above it
      break;
    }
    int rc = 0;
    CachedNode* parent = load(t, path[l - 1].node, &rc);
    if (!parent) return rc;
    if (int(parent->node.entries.size()) + 1 <= cdx::interiorCapacity(t->keyLen)) break;
    need++;
  }
  for (r.count = 0; r.count < need; r.count++) {
    int rc = index4extend(t->indexFile, &r.blocks[r.count]);
    if (rc) {
      release(t, r);
      return rc;
    }
  }
  return 0;
}

int splitReserved(TAG4FILE* t, Path& path, size_t level, bool atEnd, Reserve& r);

// Splits node path[level] (which does not fit) into itself and a new right
// sibling, then fixes the parent (recursively). atEnd: the entry that did
// not fit went after every other entry of the tag's last node. Keys added
// in order (record numbers, dates) arrive that way; the node then keeps all
// it held and the new one starts with the new entry, so such a tag fills
// its nodes instead of leaving each half empty.
int split(TAG4FILE* t, Path& path, size_t level, bool atEnd) {
  Reserve r;
  int rc = reserve(t, path, level, r);
  if (rc) return rc;
  rc = splitReserved(t, path, level, atEnd, r);
  release(t, r);
  return rc;
}

int splitReserved(TAG4FILE* t, Path& path, size_t level, bool atEnd, Reserve& r) {
  int rc = 0;
  uint32_t leftOff = path[level].node;
  CachedNode* left = load(t, leftOff, &rc);
  if (!left) return rc;
  size_t n = left->node.entries.size();
  if (n < 2) return corrupt(t);
  long k = splitPoint(t, left->node, left->node.entries, atEnd);
  if (k < 0) return corrupt(t);
  // Everything that can fail is read before a node changes.
  CachedNode* far = nullptr;
  if (left->node.right != kNone) {
    far = load(t, left->node.right, &rc);
    if (!far) return rc;
  }
  CachedNode* parent = nullptr;
  if (level > 0) {
    parent = load(t, path[level - 1].node, &rc);
    if (!parent) return rc;
    if (path[level - 1].index >= int(parent->node.entries.size())) return corrupt(t);
  }
  if (r.used + (level > 0 ? 1 : 2) > r.count) return corrupt(t);
  uint32_t rightOff;
  CachedNode* right = newNode(t, r, &rightOff);
  bool leaf = left->node.isLeaf();
  right->node.attr = uint16_t(leaf ? cdx::kAttrLeaf : 0);
  right->node.params = freshParams(t);
  auto& all = left->node.entries;
  right->node.entries.assign(std::make_move_iterator(all.begin() + k), std::make_move_iterator(all.end()));
  all.erase(all.begin() + k, all.end());
  if (leaf) {
    cdx::fitLeafParams(left->node, t->keyLen);
    cdx::fitLeafParams(right->node, t->keyLen);
  }
  // Sibling links.
  right->node.left = leftOff;
  right->node.right = left->node.right;
  if (far) {
    far->node.left = rightOff;
    index4markDirty(t->indexFile, far);
  }
  left->node.right = rightOff;
  index4markDirty(t->indexFile, left);
  const cdx::NodeEntry& lLast = left->node.entries.back();
  const cdx::NodeEntry& rLast = right->node.entries.back();
  if (level == 0) {
    uint32_t rootOff;
    CachedNode* root = newNode(t, r, &rootOff);
    left->node.attr = uint16_t(left->node.attr & ~cdx::kAttrRoot);
    root->node.attr = cdx::kAttrRoot;
    root->node.entries = {{lLast.key, lLast.recno, leftOff}, {rLast.key, rLast.recno, rightOff}};
    t->header.root = rootOff;
    t->headerChanged = true;
    t->indexFile->tagHeadersChanged = true;
    return 0;
  }
  int pi = path[level - 1].index;
  auto& pe = parent->node.entries;
  pe[size_t(pi)].key = lLast.key;
  pe[size_t(pi)].recno = lLast.recno;
  pe.insert(pe.begin() + pi + 1, cdx::NodeEntry{rLast.key, rLast.recno, rightOff});
  index4markDirty(t->indexFile, parent);
  if (int(pe.size()) > cdx::interiorCapacity(t->keyLen))
    return splitReserved(t, path, level - 1, atEnd && pi + 2 == int(pe.size()) && parent->node.right == kNone, r);
  if (pi + 2 == int(pe.size())) {
    path[level - 1].index = pi + 1;
    return updateSeparators(t, path, level - 1);
  }
  return 0;
}

// Node path[level] became empty: frees it and removes it from its parent.
int removeNode(TAG4FILE* t, Path& path, size_t level) {
  int rc = 0;
  uint32_t off = path[level].node;
  CachedNode* cn = load(t, off, &rc);
  if (!cn) return rc;
  if (cn->node.isRoot()) {
    // An empty root becomes an empty root leaf.
    cn->node.attr = cdx::kAttrRoot | cdx::kAttrLeaf;
    cn->node.params = freshParams(t);
    cn->node.left = cn->node.right = kNone;
    index4markDirty(t->indexFile, cn);
    return 0;
  }
  uint32_t l = cn->node.left, r = cn->node.right;
  if (l != kNone) {
    CachedNode* ln = load(t, l, &rc);
    if (!ln) return rc;
    ln->node.right = r;
    index4markDirty(t->indexFile, ln);
  }
  if (r != kNone) {
    CachedNode* rn = load(t, r, &rc);
    if (!rn) return rc;
    rn->node.left = l;
    index4markDirty(t->indexFile, rn);
  }
  index4freeBlock(t->indexFile, off);
  CachedNode* parent = load(t, path[level - 1].node, &rc);
  if (!parent) return rc;
  auto& pe = parent->node.entries;
  int pi = path[level - 1].index;
  if (pi >= int(pe.size())) return corrupt(t);
  pe.erase(pe.begin() + pi);
  index4markDirty(t->indexFile, parent);
  if (pe.empty()) return removeNode(t, path, level - 1);
  if (pi == int(pe.size())) {
    path[level - 1].index = pi - 1;
    return updateSeparators(t, path, level - 1);
  }
  return 0;
}

}  // namespace

int compare(const cdx::NodeEntry& e, std::string_view key, int cmpLen, bool useRecno, uint32_t recno) {
  int c = cdx::compareKeyBytes(e.key.data(), key.data(), size_t(cmpLen));
  if (c || !useRecno) return c;
  return e.recno < recno ? -1 : (e.recno > recno ? 1 : 0);
}

int descend(TAG4FILE* t, std::string_view key, int cmpLen, bool useRecno, uint32_t recno, Path& path) {
  path.clear();
  cmpLen = std::min({cmpLen, t->keyLen, int(key.size())});
  uint32_t off = t->header.root;
  for (int depth = 0;; depth++) {
    if (depth > kMaxDepth) return corrupt(t);
    int rc = 0;
    if (onPath(path, off)) return corrupt(t);
    CachedNode* cn = load(t, off, &rc);
    if (!cn) return rc;
    const auto& es = cn->node.entries;
    if (depth > 0 && cn->node.isRoot()) return corrupt(t);
    auto before = [&](const cdx::NodeEntry& e) { return compare(e, key, cmpLen, useRecno, recno) < 0; };
    // Keys added in order (record numbers, dates) go after every entry:
    // the last is tried first, sparing the search its cold lines.
    auto it = !es.empty() && before(es.back()) ? es.end() : std::partition_point(es.begin(), es.end(), before);
    int idx = int(it - es.begin());
    if (cn->node.isLeaf()) {
      path.push_back({off, idx});
      return 0;
    }
    if (es.empty()) return corrupt(t);
    if (idx == int(es.size())) idx--;
    path.push_back({off, idx});
    off = es[size_t(idx)].child;
  }
}

namespace {

int edge(TAG4FILE* t, Pos& p, bool toFirst) {
  uint32_t off = t->header.root;
  Path path;  // the nodes passed, to refuse a child pointer back up
  for (int depth = 0;; depth++) {
    if (depth > kMaxDepth || onPath(path, off)) return corrupt(t);
    int rc = 0;
    CachedNode* cn = load(t, off, &rc);
    if (!cn) return rc;
    if (depth > 0 && cn->node.isRoot()) return corrupt(t);
    path.push_back({off, 0});
    const auto& es = cn->node.entries;
    if (cn->node.isLeaf()) {
      p.leaf = off;
      p.index = toFirst ? 0 : int(es.size()) - 1;
      if (es.empty()) {
        p.index = 0;
        return toFirst ? normalise(t, p) : step(t, p, -1);
      }
      return 0;
    }
    if (es.empty()) return corrupt(t);
    off = toFirst ? es.front().child : es.back().child;
  }
}

}  // namespace

int first(TAG4FILE* t, Pos& p) { return edge(t, p, true); }
int last(TAG4FILE* t, Pos& p) { return edge(t, p, false); }

int normalise(TAG4FILE* t, Pos& p) {
  // A walk visits no more leaves than the file holds, and entries met
  // across a leaf boundary must go up: sibling links that lead back (a
  // cycle) are corruption, not an endless walk.
  int64_t guard = t->indexFile->fileLength / cdx::kBlock + 1;
  const cdx::NodeEntry* before = nullptr;  // last entry of the leaves left behind
  for (;;) {
    int rc = 0;
    CachedNode* cn = load(t, p.leaf, &rc);
    if (!cn) return rc;
    if (!cn->node.isLeaf()) return corrupt(t);
    const auto& es = cn->node.entries;
    if (p.index < int(es.size())) {
      if (before != nullptr && !ascending(*before, es[size_t(p.index)], t->keyLen)) return corrupt(t);
      return 0;
    }
    if (!es.empty()) before = &es.back();
    uint32_t next = cn->node.right;
    if (next == kNone) return r4eof;
    CachedNode* nn = load(t, next, &rc);
    if (!nn) return rc;
    if (nn->node.left != p.leaf || --guard < 0) return corrupt(t);
    p.leaf = next;
    p.index = 0;
  }
}

int step(TAG4FILE* t, Pos& p, int dir) {
  Pos q = p;
  if (dir > 0) {
    q.index++;
    int rc = normalise(t, q);
    if (rc == 0) p = q;
    return rc;
  }
  int64_t guard = t->indexFile->fileLength / cdx::kBlock + 1;
  const cdx::NodeEntry* after = nullptr;  // first entry of the leaves left behind
  const CachedNode* at = nullptr;
  while (q.index == 0) {
    int rc = 0;
    CachedNode* cn = load(t, q.leaf, &rc);
    if (!cn) return rc;
    if (!cn->node.entries.empty()) after = &cn->node.entries.front();
    uint32_t prev = cn->node.left;
    if (prev == kNone) return r4eof;
    CachedNode* pn = load(t, prev, &rc);
    if (!pn) return rc;
    if (!pn->node.isLeaf() || pn->node.right != q.leaf || --guard < 0) return corrupt(t);
    q.leaf = prev;
    q.index = int(pn->node.entries.size());
    at = pn;
  }
  q.index--;
  if (at != nullptr && after != nullptr &&
      (q.index < 0 || !ascending(at->node.entries[size_t(q.index)], *after, t->keyLen)))
    return corrupt(t);
  p = q;
  return 0;
}

const cdx::NodeEntry* entry(TAG4FILE* t, const Pos& p, int* rc) {
  CachedNode* cn = load(t, p.leaf, rc);
  if (!cn) return nullptr;
  if (p.index < 0 || p.index >= int(cn->node.entries.size())) {
    *rc = corrupt(t);
    return nullptr;
  }
  return &cn->node.entries[size_t(p.index)];
}

namespace {

// Whether an entry next to p, the place of (key, recno), holds key for
// another record: entries of one key sit together, by record number.
int otherHolder(TAG4FILE* t, const Pos& p, const std::string& key, uint32_t recno, bool* found) {
  *found = false;
  Pos q = p;
  int rc = step(t, q, -1);
  if (rc == 0) {
    const cdx::NodeEntry* e = entry(t, q, &rc);
    if (!e) return rc;
    if (e->key == key) {
      *found = true;
      return 0;
    }
  } else if (rc != r4eof) {
    return rc;
  }
  q = p;
  for (rc = normalise(t, q); rc == 0; rc = step(t, q, 1)) {
    const cdx::NodeEntry* e = entry(t, q, &rc);
    if (!e) return rc;
    if (e->key != key) return 0;
    if (e->recno != recno) {
      *found = true;
      return 0;
    }
  }
  return rc == r4eof ? 0 : rc;
}

}  // namespace

int insert(TAG4FILE* t, const std::string& key, uint32_t recno, bool* duplicate) {
  Path path;
  int rc = descend(t, key, t->keyLen, true, recno, path);
  if (rc) return rc;
  if (duplicate) {
    rc = otherHolder(t, Pos{path.back().node, path.back().index}, key, recno, duplicate);
    if (rc || *duplicate) return rc;
  }
  CachedNode* leaf = load(t, path.back().node, &rc);
  if (!leaf) return rc;
  auto& es = leaf->node.entries;
  int idx = path.back().index;
  es.insert(es.begin() + idx, cdx::NodeEntry{key, recno, 0});
  // Only the new entry and the one after it (whose shared prefix changes)
  // are encoded; the entries after those keep their bytes and move.
  int changedTo = 0;
  bool encoded = leaf->imageValid &&
                 cdx::spliceLeaf(leaf->image, leaf->node, t->keyLen, t->fill, size_t(idx), 2, 1, &changedTo);
  if (encoded) index4markImageChanged(t->indexFile, leaf, 0, changedTo);
  else index4markDirty(t->indexFile, leaf);
  t->indexFile->changed = true;
  t->indexFile->generation++;
  if (!encoded && !fits(t, leaf->node))
    return split(t, path, path.size() - 1, idx + 1 == int(es.size()) && leaf->node.right == kNone);
  if (idx + 1 == int(es.size())) {
    path.back().index = idx;
    return updateSeparators(t, path, path.size() - 1);
  }
  return 0;
}

int remove(TAG4FILE* t, const std::string& key, uint32_t recno) {
  Path path;
  int rc = descend(t, key, t->keyLen, true, recno, path);
  if (rc) return rc;
  CachedNode* leaf = load(t, path.back().node, &rc);
  if (!leaf) return rc;
  auto& es = leaf->node.entries;
  int idx = path.back().index;
  if (idx >= int(es.size()) || es[size_t(idx)].recno != recno || es[size_t(idx)].key != key) return 1;
  es.erase(es.begin() + idx);
  int changedTo = 0;
  if (leaf->imageValid && !es.empty() &&
      cdx::spliceLeaf(leaf->image, leaf->node, t->keyLen, t->fill, size_t(idx), 1, -1, &changedTo))
    index4markImageChanged(t->indexFile, leaf, 0, changedTo);
  else
    index4markDirty(t->indexFile, leaf);
  t->indexFile->changed = true;
  t->indexFile->generation++;
  if (es.empty()) return removeNode(t, path, path.size() - 1);
  if (idx == int(es.size())) {
    path.back().index = idx - 1;
    return updateSeparators(t, path, path.size() - 1);
  }
  return 0;
}

}  // namespace tag4
