#include "engine/tag4nav.h"

#include <cstring>
#include <string>

#include "engine/error4.h"
#include "engine/i4key.h"
#include "engine/tag4tree.h"

namespace tag4 {
namespace {

int setPos(TAG4* t, const Pos& p) {
  int rc = 0;
  const cdx::NodeEntry* e = entry(t->tagFile, p, &rc);
  if (!e) return rc;
  t->leaf = p.leaf;
  t->entry = p.index;
  t->key = e->key;
  t->recno = e->recno;
  t->generation = t->tagFile->indexFile->generation;
  t->positioned = true;
  return 0;
}

Pos current(const TAG4* t) { return Pos{t->leaf, t->entry}; }

// Finds the remembered entry again. *exact tells whether it still exists;
// otherwise the position is on the first entry after it (or 3).
int refind(TAG4* t, bool* exact) {
  *exact = true;
  if (t->generation == t->tagFile->indexFile->generation) return 0;
  Path path;
  int rc = descend(t->tagFile, t->key, t->tagFile->keyLen, true, t->recno, path);
  if (rc) return rc;
  Pos p{path.back().node, path.back().index};
  rc = normalise(t->tagFile, p);
  if (rc == r4eof) {
    *exact = false;
    Pos lastPos;
    rc = last(t->tagFile, lastPos);
    if (rc) return rc;
    // Past the end: remember the last entry, but as a point beyond it.
    rc = setPos(t, lastPos);
    if (rc) return rc;
    t->entry++;
    return 0;
  }
  if (rc) return rc;
  const cdx::NodeEntry* e = entry(t->tagFile, p, &rc);
  if (!e) return rc;
  *exact = e->key == t->key && e->recno == t->recno;
  return setPos(t, p);
}

}  // namespace

int prepare(TAG4* t) {
  INDEX4FILE* f = t->tagFile->indexFile;
  if (f->lockHeld) return 0;
  return index4refresh(f);
}

int top(TAG4* t) {
  int rc = prepare(t);
  if (rc) return rc;
  Pos p;
  rc = t->tagFile->descending ? last(t->tagFile, p) : first(t->tagFile, p);
  if (rc) {
    t->positioned = false;
    return rc;
  }
  return setPos(t, p);
}

int bottom(TAG4* t) {
  int rc = prepare(t);
  if (rc) return rc;
  Pos p;
  rc = t->tagFile->descending ? first(t->tagFile, p) : last(t->tagFile, p);
  if (rc) {
    t->positioned = false;
    return rc;
  }
  return setPos(t, p);
}

int skip(TAG4* t, long n, long* moved) {
  *moved = 0;
  int rc = prepare(t);
  if (rc) return rc;
  if (!t->positioned) return r4eof;
  bool exact;
  rc = refind(t, &exact);
  if (rc) return rc;
  int dir = (n >= 0 ? 1 : -1) * (t->tagFile->descending ? -1 : 1);
  long todo = n >= 0 ? n : -n;
  Pos p = current(t);
  if (!exact && dir > 0 && todo > 0) {
    // The entry we stood on is gone; the position already is the next one.
    rc = normalise(t->tagFile, p);
    if (rc) return rc == r4eof ? r4eof : rc;
    todo--;
    ++*moved;
  }
  while (todo > 0) {
    rc = step(t->tagFile, p, dir);
    if (rc == r4eof) break;
    if (rc) return rc;
    todo--;
    ++*moved;
  }
  int src = setPos(t, p);
  if (src) return src;
  return todo == 0 ? 0 : r4eof;
}

int seek(TAG4* t, std::string_view key, int cmpLen) {
  int rc = prepare(t);
  if (rc) return rc;
  TAG4FILE* tf = t->tagFile;
  cmpLen = std::min(cmpLen, tf->keyLen);
  Path path;
  Pos p;
  if (!tf->descending) {
    rc = descend(tf, key, cmpLen, false, 0, path);
    if (rc) return rc;
    p = {path.back().node, path.back().index};
    rc = normalise(tf, p);
  } else {
    std::string k(key.substr(0, size_t(cmpLen)));
    bool more = i4key::increment(k);
    if (more) {
      rc = descend(tf, k, cmpLen, false, 0, path);
      if (rc) return rc;
      p = {path.back().node, path.back().index};
      rc = normalise(tf, p);
      if (rc == 0) rc = step(tf, p, -1);
      else if (rc == r4eof) rc = last(tf, p);
    } else {
      rc = last(tf, p);
    }
  }
  if (rc) {
    t->positioned = false;
    return rc;
  }
  rc = setPos(t, p);
  if (rc) return rc;
  return std::memcmp(t->key.data(), key.data(), size_t(cmpLen)) == 0 ? 0 : r4after;
}

int go(TAG4* t, std::string_view key, unsigned recno) {
  int rc = prepare(t);
  if (rc) return rc;
  Path path;
  rc = descend(t->tagFile, key, t->tagFile->keyLen, true, recno, path);
  if (rc) return rc;
  Pos p{path.back().node, path.back().index};
  rc = normalise(t->tagFile, p);
  if (rc) return rc;
  return setPos(t, p);
}

}  // namespace tag4
