// Opening and closing index files: reads the directory tag and every tag
// header, checks them, and compiles each tag's expressions for the handle.
#include <algorithm>
#include <cstring>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/i4key.h"
#include "engine/index4.h"
#include "engine/tag4tree.h"
#include "platform/file.h"

namespace {

constexpr int kMaxTags = 512;

int corrupt(INDEX4FILE* f) { return index4corrupt(f); }

// Reads the directory and the tag headers of a freshly opened file.
int readStructure(INDEX4FILE* f) {
  int64_t len = file4len(&f->file);
  if (len < 0) return int(len);
  f->fileLength = len - len % cdx::kBlock;
  TAG4FILE& dir = f->directory;
  dir.isDirectory = true;
  dir.alias = "(directory)";
  if (f->fileLength < cdx::kHeaderSize) return corrupt(f);
  int rc = index4readTagHeader(f, 0, &dir);
  if (rc) return rc;
  const cdx::TagHeader& h = dir.header;
  if (h.root == 0 || h.root == 0xFFFFFFFFu || h.options < cdx::kOptCompact || h.keyLen == 0 ||
      h.keyLen > cdx::kMaxKeyLen)
    return corrupt(f);
  dir.keyLen = h.keyLen;
  dir.fill = ' ';
  f->changeSeen = h.changeCounter;
  tag4::Pos p;
  for (rc = tag4::first(&dir, p); rc == 0; rc = tag4::step(&dir, p, 1)) {
    const cdx::NodeEntry* e = tag4::entry(&dir, p, &rc);
    if (!e) return rc;
    if (int(f->tags.size()) >= kMaxTags) return corrupt(f);
    auto t = std::make_unique<TAG4FILE>();
    rc = index4readTagHeader(f, e->recno, t.get());
    if (rc) return rc;
    std::string name = e->key.substr(0, 10);
    name.erase(name.find_last_not_of(std::string(" \0", 2)) + 1);
    t->alias = i4key::upperAscii(name);
    const cdx::TagHeader& th = t->header;
    if (th.keyLen == 0 || th.keyLen > cdx::kMaxKeyLen || th.root == 0 || th.root == 0xFFFFFFFFu)
      return corrupt(f);
    if (!th.collation.empty()) return corrupt(f);  // "GENERAL" weights are not provided
    t->keyLen = th.keyLen;
    t->descending = th.descending;
    t->unique = (th.options & cdx::kOptCandidate) ? r4candidate
                : (th.options & cdx::kOptUnique) ? r4uniqueContinue : 0;
    f->tags.push_back(std::move(t));
  }
  if (rc != r4eof) return rc;
  std::sort(f->tags.begin(), f->tags.end(),
            [](const auto& a, const auto& b) { return a->headerPos < b->headerPos; });
  // Every tree has a root of its own, which is no header: a root shared
  // with another tag (or the directory) would have one tag's keys written
  // into the other's nodes.
  std::vector<uint32_t> taken = {0, uint32_t(cdx::kBlock), dir.header.root};
  for (const auto& t : f->tags) {
    taken.push_back(t->headerPos);
    taken.push_back(t->headerPos + uint32_t(cdx::kBlock));
  }
  for (const auto& t : f->tags) {
    if (std::find(taken.begin(), taken.end(), t->header.root) != taken.end()) return corrupt(f);
    taken.push_back(t->header.root);
  }
  return 0;
}

std::string productionName(DATA4* d) {
  std::string n = d->dataFile->file.name;
  size_t slash = n.find_last_of('/');
  size_t dot = n.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) n.resize(dot);
  return code4fileSystem(d->codeBase).resolveName(n + ".cdx");
}

}  // namespace

std::string i4fileName(DATA4* d, const char* name) {
  if (!name || !*name) return productionName(d);
  std::string n = name;
  size_t slash = n.find_last_of('/');
  size_t dot = n.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) n += ".cdx";
  return code4fileSystem(d->codeBase).resolveName(n);
}

namespace {

// Finds the earlier tags of idx whose expressions t's key or filter repeats
// or extends, and whether its filter is a number test (see TAG4).
void findShared(DATA4* d, INDEX4& idx, TAG4& t) {
  const cdx::TagHeader& h = t.tagFile->header;
  for (size_t k = 0; k < idx.tags.size(); k++) {
    const TAG4& earlier = *idx.tags[k];
    const std::string& filter = earlier.tagFile->header.filterExpr;
    if (t.sameKeyAs < 0 && earlier.tagFile->header.keyExpr == h.keyExpr) t.sameKeyAs = int(k);
    if (!t.filter || !earlier.filter) continue;
    if (t.sameFilterAs < 0 && filter == h.filterExpr) t.sameFilterAs = int(k);
    if (t.filterExtends >= 0 || h.filterExpr.compare(0, filter.size(), filter) != 0 ||
        h.filterExpr.compare(filter.size(), 5, ".AND.") != 0)
      continue;
    // The rest must compile alone, quietly: this is only a shortcut.
    int saved = d->codeBase->errorOnExpr;
    d->codeBase->errorOnExpr = 0;
    EXPR4* rest = expr4parseTag(d, h.filterExpr.c_str() + filter.size() + 5, idx.indexFile->file.name.c_str());
    d->codeBase->errorOnExpr = saved;
    if (rest && expr4type(rest) == 'L' && expr4isConjunction(t.filter, earlier.filter, rest)) {
      t.filterExtends = int(k);
      t.filterRest = rest;
    } else {
      expr4free(rest);
    }
  }
  EXPR4NUMFIELD field;
  EXPR4* test = t.filterRest ? t.filterRest : t.filter;
  if (test && expr4fieldEqualsNumber(test, &field, &t.number)) {
    auto& fields = idx.numberFields;
    t.numberTest = int(std::find(fields.begin(), fields.end(), field) - fields.begin());
    if (t.numberTest == int(fields.size())) fields.push_back(field);
    idx.numberValues.resize(fields.size());
  }
}

}  // namespace

// Builds the handle's view (INDEX4 with one TAG4 per tag, expressions
// compiled for d). Checks key lengths and filter types: -310 on mismatch.
int i4attach(DATA4* d, INDEX4FILE* f, INDEX4** out) {
  auto idx = std::make_unique<INDEX4>();
  idx->data = d;
  idx->indexFile = f;
  for (auto& tf : f->tags) {
    auto t = std::make_unique<TAG4>();
    t->index = idx.get();
    t->tagFile = tf.get();
    t->expr = expr4parseTag(d, tf->header.keyExpr.c_str(), f->file.name.c_str());
    if (!t->expr) return error4code(d->codeBase) < 0 ? error4code(d->codeBase) : corrupt(f);
    if (expr4keyLen(t->expr) != tf->keyLen) return corrupt(f);
    tf->keyType = expr4keyType(t->expr);
    tf->fill = tf->keyType == 'C' ? ' ' : 0;
    if (!tf->header.filterExpr.empty()) {
      t->filter = expr4parseTag(d, tf->header.filterExpr.c_str(), f->file.name.c_str());
      if (!t->filter) return error4code(d->codeBase) < 0 ? error4code(d->codeBase) : corrupt(f);
      if (expr4type(t->filter) != 'L') return corrupt(f);
    }
    findShared(d, *idx, *t);
    idx->tags.push_back(std::move(t));
  }
  INDEX4* raw = idx.release();
  d->indexes.push_back(raw);
  f->userCount++;
  *out = raw;
  return 0;
}

TAG4::~TAG4() {
  expr4free(expr);
  expr4free(filter);
  expr4free(filterRest);
}

int index4closeFile(INDEX4FILE* f) {
  int rc = f->lockHeld ? index4unlock(f) : 0;
  int closed = file4close(&f->file);
  auto& list = f->dataFile->indexFiles;
  list.erase(std::remove(list.begin(), list.end(), f), list.end());
  delete f;
  return rc ? rc : closed;
}

INDEX4* i4open(DATA4* d, const char* name) {
  if (!d || d4check(d) < 0) return nullptr;
  std::string fileName = i4fileName(d, name);
  std::string upper = i4key::upperAscii(fileName);
  for (INDEX4* i : d->indexes)
    if (i->indexFile->upperName == upper) {
      error4describe(d->codeBase, e4instance, 0, fileName.c_str());
      return nullptr;
    }
  INDEX4FILE* f = nullptr;
  for (INDEX4FILE* open : d->dataFile->indexFiles)
    if (open->upperName == upper) f = open;
  bool fresh = f == nullptr;
  if (fresh) {
    f = new INDEX4FILE;
    f->codeBase = d->codeBase;
    f->dataFile = d->dataFile;
    f->upperName = upper;
    int rc = file4open(&f->file, d->codeBase, fileName);
    if (rc != 0) {
      delete f;
      return nullptr;
    }
    d->dataFile->indexFiles.push_back(f);
    rc = readStructure(f);
    if (rc) {
      (void)index4closeFile(f);  // unreadable: the read error is the one reported
      return nullptr;
    }
    i4recallModes(f);
  }
  INDEX4* idx = nullptr;
  if (i4attach(d, f, &idx) != 0) {
    if (fresh) (void)index4closeFile(f);  // nothing written; the attach error is reported
    return nullptr;
  }
  return idx;
}

int i4close(INDEX4* i) {
  if (!i) return 0;
  DATA4* d = i->data;
  INDEX4FILE* f = i->indexFile;
  for (auto& t : i->tags)
    if (d->tagSelected == t.get()) d->tagSelected = nullptr;
  auto& list = d->indexes;
  list.erase(std::remove(list.begin(), list.end(), i), list.end());
  delete i;
  int rc = 0;
  if (--f->userCount <= 0) {
    if (f->changed) {
      rc = index4lock(f);
      if (rc == 0) rc = index4unlock(f);
    }
    int closed = index4closeFile(f);
    if (rc == 0) rc = closed;
  }
  return rc;
}

int i4flush(INDEX4* i) {
  INDEX4FILE* f = i->indexFile;
  if (!f->changed) return 0;
  if (f->lockHeld) return index4writeChanges(f);
  int rc = index4lock(f);
  if (rc) return rc;
  return index4unlock(f);
}

TAG4* i4tag(INDEX4* i, const char* name) {
  if (!i || !name) return nullptr;
  std::string n = i4key::upperAscii(std::string(name).substr(0, 10));
  n.erase(n.find_last_not_of(' ') + 1);
  for (auto& t : i->tags)
    if (t->tagFile->alias == n) return t.get();
  return nullptr;
}
