#include "engine/i4check.h"

#include <cstring>
#include <set>
#include <vector>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/index4.h"
#include "engine/tag4nav.h"
#include "engine/tag4tree.h"

namespace {

std::string printable(const std::string& key, char type) {
  if (type != 'C') {
    std::string hex;
    char b[4];
    for (unsigned char c : key) {
      std::snprintf(b, sizeof b, "%02X", c);
      hex += b;
    }
    return hex;
  }
  std::string s;
  for (unsigned char c : key) s += (c >= 32 && c < 127) ? char(c) : '?';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

struct TagChecker {
  DATA4* d;
  TAG4* t;
  const std::function<void(const std::string&)>& report;
  int problems = 0;
  std::set<uint32_t> visited = {};  // nodes of the tree walk

  void fail(const std::string& what) {
    problems++;
    if (problems <= 50) report("tag " + t->tagFile->alias + ": " + what);
  }

  // Key and filter result of record r.
  int recordKey(int32_t r, std::string& key, bool& passes) {
    int rc = d4goData(d, r);
    if (rc) return rc;
    passes = true;
    if (t->filter) {
      int ok = expr4true(t->filter);
      if (ok < 0) return ok;
      passes = ok != 0;
    }
    const char* k;
    rc = expr4key(t->expr, &k);
    if (rc < 0) return rc;
    key.assign(k, size_t(t->tagFile->keyLen));
    return 0;
  }

  // The tree below node off: every interior entry holds a key and record
  // number at least its child's last entry and below the next child's
  // first, so that descents find every entry. Sets the subtree's first and
  // last entries; false when it has none. A node reached twice is reported
  // and not walked again, so a damaged tree costs no more than its nodes.
  int walk(uint32_t off, int depth, cdx::NodeEntry& first, cdx::NodeEntry& last, bool& any) {
    TAG4FILE* tf = t->tagFile;
    any = false;
    if (depth > tag4::kMaxDepth) return index4corrupt(tf->indexFile, tf);
    if (!visited.insert(off).second) {
      fail("node " + std::to_string(off) + " is reached twice");
      return 0;
    }
    int rc = 0;
    CachedNode* cn = index4node(tf->indexFile, tf, off, &rc);
    if (!cn) return rc;
    if (cn->node.isLeaf()) {
      if (cn->node.entries.empty()) return 0;
      first = cn->node.entries.front();
      last = cn->node.entries.back();
      any = true;
      return 0;
    }
    // Copied: walking the children may evict this node from the cache.
    const std::vector<cdx::NodeEntry> seps = cn->node.entries;
    const cdx::NodeEntry* before = nullptr;
    for (const cdx::NodeEntry& sep : seps) {
      cdx::NodeEntry f, l;
      bool childAny;
      rc = walk(sep.child, depth + 1, f, l, childAny);
      if (rc) return rc;
      if (!childAny) continue;
      if (tag4::compare(l, sep.key, tf->keyLen, true, sep.recno) > 0)
        fail("node " + std::to_string(off) + ": separator below the last entry of node " + std::to_string(sep.child));
      if (before && tag4::compare(f, before->key, tf->keyLen, true, before->recno) <= 0)
        fail("node " + std::to_string(off) + ": node " + std::to_string(sep.child) + " starts at or below the separator before it");
      if (!any) first = f;
      last = l;
      any = true;
      before = &sep;
    }
    return 0;
  }

  int run(int32_t count) {
    TAG4FILE* tf = t->tagFile;
    {
      cdx::NodeEntry f, l;
      bool any;
      int rc = walk(tf->header.root, 0, f, l, any);
      if (rc) return rc;
    }
    std::vector<std::pair<std::string, uint32_t>> entries;
    tag4::Pos p;
    int rc;
    for (rc = tag4::first(tf, p); rc == 0; rc = tag4::step(tf, p, 1)) {
      const cdx::NodeEntry* e = tag4::entry(tf, p, &rc);
      if (!e) return rc;
      entries.emplace_back(e->key, e->recno);
      if (entries.size() > size_t(count) + 1) {
        fail("more entries than records");
        return 0;
      }
    }
    if (rc != r4eof) return rc;
    std::set<uint32_t> seen;
    for (size_t i = 0; i < entries.size(); i++) {
      const auto& [key, recno] = entries[i];
      if (i > 0) {
        int c = std::memcmp(entries[i - 1].first.data(), key.data(), key.size());
        if (c > 0 || (c == 0 && entries[i - 1].second >= recno))
          fail("entry " + std::to_string(i + 1) + " (record " + std::to_string(recno) + ") out of order");
      }
      if (recno < 1 || recno > uint32_t(count)) {
        fail("entry for record " + std::to_string(recno) + " beyond the record count");
        continue;
      }
      if (!seen.insert(recno).second) fail("record " + std::to_string(recno) + " has two entries");
      std::string k;
      bool passes;
      rc = recordKey(int32_t(recno), k, passes);
      if (rc) return rc;
      if (!passes) fail("record " + std::to_string(recno) + " is indexed but fails the filter");
      else if (k != key)
        fail("record " + std::to_string(recno) + " key \"" + printable(k, tf->keyType) +
             "\" stored as \"" + printable(key, tf->keyType) + "\"");
      tag4::Path path;
      rc = tag4::descend(tf, key, tf->keyLen, true, recno, path);
      if (rc) return rc;
      tag4::Pos q{path.back().node, path.back().index};
      const cdx::NodeEntry* found = tag4::normalise(tf, q) == 0 ? tag4::entry(tf, q, &rc) : nullptr;
      if (!found || found->key != key || found->recno != recno)
        fail("key of record " + std::to_string(recno) + " not found by seek");
    }
    // Records that should be in the tag.
    std::set<std::string> keys;
    size_t expected = 0;
    for (int32_t r = 1; r <= count; r++) {
      std::string k;
      bool passes;
      rc = recordKey(r, k, passes);
      if (rc) return rc;
      if (!passes) continue;
      if (tf->unique != 0) {
        if (keys.insert(k).second) expected++;
      } else {
        expected++;
        if (!seen.count(uint32_t(r))) fail("record " + std::to_string(r) + " missing");
      }
    }
    if (expected != entries.size())
      fail(std::to_string(entries.size()) + " entries, " + std::to_string(expected) + " expected");
    return 0;
  }
};

}  // namespace

int i4check(DATA4* d, const std::function<void(const std::string&)>& report) {
  int32_t count = d4recCount(d);
  if (count < 0) return count;
  int problems = 0;
  for (INDEX4* idx : d->indexes) {
    int rc = index4lock(idx->indexFile);
    if (rc) return rc;
    for (auto& t : idx->tags) {
      TagChecker c{d, t.get(), report};
      rc = c.run(count);
      if (rc < 0) {
        (void)index4unlock(idx->indexFile);
        return rc;
      }
      problems += c.problems;
    }
    rc = index4unlock(idx->indexFile);
    if (rc) return rc;
  }
  d->recNum = 0;
  return problems ? 1 : 0;
}
