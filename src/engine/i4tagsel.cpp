// Tags of a data handle: lookup by name, selection, iteration, reindex.
#include <cstring>
#include <string>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/index4.h"

TAG4* d4tag(DATA4* d, const char* name) {
  if (!d || !name) return nullptr;
  for (INDEX4* i : d->indexes)
    if (TAG4* t = i4tag(i, name)) return t;
  if (d->codeBase->errorOnTagName) error4describe(d->codeBase, e4tagName, 0, name);
  return nullptr;
}

void d4tagSelect(DATA4* d, TAG4* t) {
  d->tagSelected = t;
  if (t) t->positioned = false;
}

TAG4* d4tagSelected(DATA4* d) { return d->tagSelected; }

TAG4* d4tagDefault(DATA4* d) {
  if (d->tagSelected) return d->tagSelected;
  for (INDEX4* i : d->indexes)
    if (!i->tags.empty()) return i->tags.front().get();
  return nullptr;
}

TAG4* d4tagNext(DATA4* d, TAG4* t) {
  bool take = t == nullptr;
  for (INDEX4* i : d->indexes)
    for (auto& tag : i->tags) {
      if (take) return tag.get();
      if (tag.get() == t) take = true;
    }
  return nullptr;
}

TAG4* d4tagPrev(DATA4* d, TAG4* t) {
  TAG4* prev = nullptr;
  for (INDEX4* i : d->indexes)
    for (auto& tag : i->tags) {
      if (tag.get() == t) return prev;
      prev = tag.get();
    }
  return t == nullptr ? prev : nullptr;
}

int d4reindex(DATA4* d) {
  if (int rc = d4check(d)) return rc;
  for (INDEX4* i : d->indexes) {
    int rc = i4reindex(i);
    if (rc) return rc;
  }
  return 0;
}

const char* t4alias(const TAG4* t) { return t->tagFile->alias.c_str(); }

int t4uniqueSet(TAG4* t, short mode) {
  bool unique = t->tagFile->header.options & (cdx::kOptUnique | cdx::kOptCandidate);
  if (mode != 0 && mode != 20 && mode != 25 && mode != -340 && mode != 15 && mode != -360)
    return error4(t->index->data->codeBase, e4tagInfo, 0);
  if (unique == (mode == 0)) return error4(t->index->data->codeBase, e4tagInfo, 0);
  t->tagFile->unique = mode;
  return 0;
}
