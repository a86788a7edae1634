// Creating and rebuilding index files.
//
// A rebuild writes the whole file afresh: the directory header at 0, tag
// header n at 1024 * n, then the directory's leaf and each tag's tree,
// written bottom-up from the sorted keys. The records are read once, in
// record order, and every tag's keys go to its own external sort.
#include <algorithm>
#include <cstring>
#include <map>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/data4_internal.h"
#include "engine/error4.h"
#include "engine/i4scan.h"
#include "engine/i4key.h"
#include "engine/index4.h"
#include "engine/sort4.h"
#include "engine/tag4build.h"

namespace {

constexpr size_t kSortBudget = size_t(48) << 20;  // shared by all tags of a build

bool validUnique(short u) { return u == 0 || u == 20 || u == 25 || u == -340 || u == 15 || u == -360; }

// Puts every record's key into the sorts of the tags; unique duplicates are
// resolved later while reading the sorted keys.
int collectKeys(INDEX4* idx, uint32_t count, std::vector<SORT4>& sorts) {
  std::vector<KEY4STATE>& states = idx->newKeys;
  return i4forEachRecord(idx->data, 1, count, true, [&](uint32_t recno) {
    int rc = index4tagKeys(idx, states);
    for (size_t t = 0; rc == 0 && t < idx->tags.size(); t++)
      if (states[t].passes) rc = sort4put(&sorts[t], states[t].key.data(), recno);
    return rc;
  });
}

// Source of sorted entries for the builder, applying the unique mode.
struct UniqueFilter {
  SORT4* sort = nullptr;
  TAG4FILE* tag = nullptr;
  std::string lastKey;
  bool haveLast = false;
  int violation = 0;

  int operator()(const char** key, uint32_t* recno) {
    for (;;) {
      int rc = sort4get(sort, key, recno);
      if (rc) return rc;
      if (tag->unique == 0) return 0;
      std::string_view k(*key, size_t(tag->keyLen));
      if (haveLast && k == lastKey) {
        if (tag->unique == r4uniqueContinue) continue;
        violation = (tag->unique == -340 || tag->unique == -360) ? e4unique : r4unique;
        return violation;
      }
      lastKey.assign(k);
      haveLast = true;
      return 0;
    }
  }
};

struct DirEntry {
  std::string key;
  uint32_t pos;
};

}  // namespace

int i4reindex(INDEX4* idx) {
  DATA4* d = idx->data;
  INDEX4FILE* f = idx->indexFile;
  CODE4* c = d->codeBase;
  if (d4check(d) < 0) return e4codeBase;
  int rc = d4updateRecord(d, false);
  if (rc) return rc;
  bool hadFileLock = d4lockTestFile(d);
  if (!hadFileLock) {
    rc = d4lockFile(d);
    if (rc) return rc;
  }
  rc = index4lock(f);
  if (rc) {
    if (!hadFileLock) (void)d4unlockFile(d);
    return rc;
  }
  f->cache.clear();
  f->dirtyNodes.clear();
  f->rawWrites.clear();
  f->writeBackFailed = false;  // the rebuild writes the whole file
  f->generation++;
  int32_t count = d4recCount(d);
  if (count < 0) rc = count;
  std::vector<SORT4> sorts(idx->tags.size());
  size_t budget = kSortBudget / std::max<size_t>(1, idx->tags.size());
  for (size_t t = 0; t < idx->tags.size(); t++)
    sort4init(&sorts[t], c, idx->tags[t]->tagFile->keyLen, budget);
  if (rc == 0) rc = collectKeys(idx, uint32_t(count), sorts);
  // From here on the file is rewritten: a failure leaves it torn.
  bool rewriting = rc == 0;
  // Layout: headers first, then the directory leaf and the trees.
  int64_t next = int64_t(cdx::kHeaderSize) * int64_t(f->tags.size() + 1);
  FILE4SEQ_WRITE w;
  file4seqWriteInit(&w, &f->file, next);
  std::vector<DirEntry> dir;
  for (size_t t = 0; t < f->tags.size(); t++) {
    TAG4FILE* tf = f->tags[t].get();
    tf->headerPos = uint32_t(cdx::kHeaderSize * (t + 1));
    std::string k = tf->alias.substr(0, 10);
    k.resize(10, ' ');
    dir.push_back({k, tf->headerPos});
  }
  std::sort(dir.begin(), dir.end(), [](const DirEntry& a, const DirEntry& b) { return a.key < b.key; });
  size_t di = 0;
  uint32_t root = 0;
  if (rc == 0) {
    f->directory.keyLen = 10;
    f->directory.fill = ' ';
    rc = tag4::build(&f->directory, &w, &next, uint32_t(cdx::kHeaderSize * (f->tags.size() + 1)),
                     [&](const char** key, uint32_t* recno) {
                       if (di >= dir.size()) return 1;
                       *key = dir[di].key.data();
                       *recno = dir[di].pos;
                       di++;
                       return 0;
                     },
                     &root);
    f->directory.header.root = root;
  }
  for (size_t t = 0; t < idx->tags.size() && rc == 0; t++) {
    rc = sort4getInit(&sorts[t]);
    if (rc) break;
    TAG4FILE* tf = idx->tags[t]->tagFile;
    UniqueFilter src;
    src.sort = &sorts[t];
    src.tag = tf;
    rc = tag4::build(tf, &w, &next, uint32_t(std::max(count, 1)), std::ref(src), &root);
    if (rc == 0) tf->header.root = root;
    sort4free(&sorts[t]);
  }
  for (auto& s : sorts) sort4free(&s);
  if (rc == 0) rc = file4seqWriteFlush(&w);
  // Headers, with a change counter that tells other processes to drop caches.
  std::vector<uint8_t> hb(cdx::kHeaderSize);
  if (rc == 0) {
    f->directory.header.freeList = 0;
    f->directory.header.changeCounter = f->changeSeen + 1;
    f->changeSeen = f->directory.header.changeCounter;
    rc = cdx::encodeTagHeader(f->directory.header, hb) ? file4write(&f->file, 0, hb.data(), hb.size())
                                                       : error4describe(c, e4result, 0, f->file.name.c_str());
  }
  for (size_t t = 0; t < f->tags.size() && rc == 0; t++) {
    TAG4FILE* tf = f->tags[t].get();
    tf->header.changeCounter++;
    rc = cdx::encodeTagHeader(tf->header, hb) ? file4write(&f->file, tf->headerPos, hb.data(), hb.size())
                                              : error4describe(c, e4result, 0, f->file.name.c_str());
    tf->headerChanged = false;
  }
  if (rc == 0) rc = file4lenSet(&f->file, next);
  f->fileLength = next;
  f->changed = false;
  if (rc == 0) f->needsRebuild = false;
  else if (rewriting) f->needsRebuild = true;
  int urc = index4unlock(f);
  if (!hadFileLock) (void)d4unlockFile(d);
  d->recNum = 0;
  d->eofFlag = d->bofFlag = false;
  for (auto& t : idx->tags) t->positioned = false;
  return rc ? rc : urc;
}

// Fills a fresh INDEX4FILE's tag list from a TAG4INFO list; 0 or error.
static int defineTags(DATA4* d, INDEX4FILE* f, const TAG4INFO* tags) {
  CODE4* c = d->codeBase;
  f->directory.isDirectory = true;
  f->directory.alias = "(directory)";
  f->directory.keyLen = 10;
  f->directory.fill = ' ';
  cdx::TagHeader& dh = f->directory.header;
  dh.keyLen = 10;
  dh.options = cdx::kOptCompact | cdx::kOptCompound | cdx::kOptDirectory;
  for (const TAG4INFO* ti = tags; ti && ti->name; ti++) {
    std::string expr = ti->expression ? ti->expression : "";
    std::string filter = ti->filter ? ti->filter : "";
    if (!validUnique(ti->unique) || (ti->descending != 0 && ti->descending != r4descending) ||
        expr.empty() || expr.size() > 254 || filter.size() > 254)
      return error4describe(c, e4tagInfo, 0, ti->name, expr.c_str(), f->file.name.c_str());
    auto t = std::make_unique<TAG4FILE>();
    t->indexFile = f;
    t->alias = i4key::upperAscii(std::string(ti->name).substr(0, 10));
    t->unique = ti->unique;
    t->descending = ti->descending != 0;
    EXPR4* e = expr4parseTag(d, expr.c_str(), f->file.name.c_str());
    if (!e) return error4code(c) < 0 ? error4code(c) : e4tagInfo;
    t->keyLen = expr4keyLen(e);
    t->keyType = expr4keyType(e);
    expr4free(e);
    if (t->keyLen <= 0 || t->keyLen > cdx::kMaxKeyLen)
      return error4describe(c, e4tagInfo, 0, ti->name, expr.c_str(), f->file.name.c_str());
    t->fill = t->keyType == 'C' ? ' ' : 0;
    if (!filter.empty()) {
      EXPR4* fe = expr4parseTag(d, filter.c_str(), f->file.name.c_str());
      if (!fe) return error4code(c) < 0 ? error4code(c) : e4tagInfo;
      bool logical = expr4type(fe) == 'L';
      expr4free(fe);
      if (!logical) return error4describe(c, e4tagInfo, 0, ti->name, filter.c_str(), f->file.name.c_str());
    }
    cdx::TagHeader& h = t->header;
    h.keyLen = uint16_t(t->keyLen);
    h.options = cdx::kOptCompact | cdx::kOptCompound;
    if (t->unique == r4candidate || t->unique == e4candidate) h.options |= cdx::kOptCandidate;
    else if (t->unique != 0) h.options |= cdx::kOptUnique;
    if (!filter.empty()) h.options |= cdx::kOptFilter;
    h.descending = t->descending;
    h.keyExpr = expr;
    h.filterExpr = filter;
    for (auto& other : f->tags)
      if (other->alias == t->alias) return error4describe(c, e4tagInfo, 0, ti->name, f->file.name.c_str());
    f->tags.push_back(std::move(t));
  }
  return 0;
}

int i4createResult(DATA4* d, const char* name, const TAG4INFO* tags, INDEX4** out) {
  *out = nullptr;
  if (!d) return e4parmNull;
  if (d4check(d) < 0) return e4codeBase;
  CODE4* c = d->codeBase;
  std::string fileName = i4fileName(d, name);
  std::string upper = i4key::upperAscii(fileName);
  for (INDEX4FILE* open : d->dataFile->indexFiles)
    if (open->upperName == upper) return error4describe(c, e4nameNotFound, 0, fileName.c_str());
  auto* f = new INDEX4FILE;
  f->codeBase = c;
  f->dataFile = d->dataFile;
  f->upperName = upper;
  f->file.name = fileName;  // for the errors of the tag expressions
  int rc = defineTags(d, f, tags);
  if (rc) {
    delete f;
    return rc;
  }
  rc = file4create(&f->file, c, fileName);
  if (rc) {
    delete f;
    return rc < 0 ? rc : error4describe(c, e4create, 0, fileName.c_str());
  }
  d->dataFile->indexFiles.push_back(f);
  INDEX4* idx = nullptr;
  rc = i4attach(d, f, &idx);
  if (rc == 0) rc = i4reindex(idx);
  if (rc != 0) {
    // The file is removed: its close errors do not matter beside rc.
    if (idx) {
      (void)i4close(idx);  // closes the file with its last user
    } else {
      (void)index4closeFile(f);
    }
    (void)code4fileSystem(c).remove(fileName);
    return rc;
  }
  if (!name || !*name) {
    DATA4FILE* df = d->dataFile;
    df->header.flags |= 0x01;
    uint8_t flag = df->header.flags;
    rc = file4write(&df->file, 28, &flag, 1);
    if (rc) return rc;
  }
  i4rememberModes(f);
  *out = idx;
  return 0;
}

namespace {
using ModeKey = std::pair<const CODE4*, std::string>;
std::map<ModeKey, std::map<std::string, short>>& modeRegistry() {
  static std::map<ModeKey, std::map<std::string, short>> registry;
  return registry;
}
}  // namespace

void i4rememberModes(const INDEX4FILE* f) {
  auto& modes = modeRegistry()[{f->codeBase, f->upperName}];
  modes.clear();
  for (const auto& t : f->tags) modes[t->alias] = t->unique;
}

void i4recallModes(INDEX4FILE* f) {
  auto it = modeRegistry().find({f->codeBase, f->upperName});
  if (it == modeRegistry().end()) return;
  for (auto& t : f->tags) {
    auto m = it->second.find(t->alias);
    if (m != it->second.end() && (m->second != 0) == (t->unique != 0)) t->unique = m->second;
  }
}

INDEX4* i4create(DATA4* d, const char* name, const TAG4INFO* tags) {
  INDEX4* idx = nullptr;
  (void)i4createResult(d, name, tags, &idx);
  return idx;
}
