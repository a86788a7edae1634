// Index file access: node cache, change counter, index lock, block
// allocation and write-back.
//
// Changes and failure. Every change to a tree is made in the cache while
// the index lock is held; nothing of it reaches the file before the
// write-back that ends the change (index4unlock). Until then a change can
// be dropped whole: a failed key change (a unique violation, a refused
// allocation, a read error) or a record that could not be written throws
// away every cached node and rereads the headers (index4discardChanges),
// so the file keeps the tree it had before, and no compensating insert or
// removal, which could fail in turn, is needed.
//
// A split takes all the blocks it needs before any node changes
// (tag4tree.cpp), so it fails with the tree as it was.
//
// The write-back itself cannot be made atomic: a .cdx tree has no second
// copy to switch to. It writes in this order:
//   1. the directory's change counter, incremented;
//   2. the changed nodes, by offset;
//   3. the freed blocks (their free-list links);
//   4. the directory header (free-list head), when it changed;
//   5. the headers of tags whose root moved.
// Stopping before 1 leaves the file as it was. Stopping after 1 leaves a
// tree that may be torn, but with a counter that tells every other process
// to drop its cached nodes and read the file again, where its checks see
// the damage instead of trusting a cache of a tree that is gone. A new root
// is written in 2 before its tag header points at it in 5, and a freed
// block's link in 3 before the free-list head points at it in 4.
//
// After a failed write-back the nodes not written stay dirty in this
// process's cache, and the lock is released. The next lock of the file
// writes them (before any new change: index4lockAll; at the latest when
// the file is closed), which mends the tree, provided the change counter
// in the file is still the one we wrote: nobody else has written since. If
// someone has, our nodes no longer fit the file: they are dropped and the
// file is marked as needing a rebuild, and every further key change is
// refused with -310 until the index is rebuilt (i4reindex, `orvdb
// reindex`). A failed rebuild leaves the same mark.
#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "engine/code4.h"
#include "engine/coding4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/index4.h"
#include "engine/lock_offsets.h"
#include "platform/clock.h"

namespace {

constexpr size_t kCacheLimit = 16384;  // nodes; the cache is trimmed between operations

int corrupt(INDEX4FILE* f) { return index4corrupt(f); }

void dropCache(INDEX4FILE* f) {
  f->cache.clear();
  f->dirtyNodes.clear();
  f->generation++;
}

// Forgets every change not yet written; the next refresh rereads the
// headers, the free-list head and the file length.
void forgetChanges(INDEX4FILE* f) {
  dropCache(f);
  f->rawWrites.clear();
  f->writeRun.nodes.clear();
  f->changed = false;
  f->directory.headerChanged = false;
  for (auto& t : f->tags) t->headerChanged = false;
  f->tagHeadersChanged = false;
  f->fileLength = 0;
}

}  // namespace

int index4corrupt(const INDEX4FILE* f, const TAG4FILE* t) {
  return error4describe(f->codeBase, e4index, 0, f->file.name.c_str(), t ? t->alias.c_str() : nullptr);
}

int index4readTagHeader(INDEX4FILE* f, uint32_t pos, TAG4FILE* t) {
  std::array<uint8_t, cdx::kHeaderSize> buf{};
  if (pos % cdx::kBlock != 0 || int64_t(pos) + cdx::kHeaderSize > f->fileLength) return corrupt(f);
  int rc = file4readAll(&f->file, pos, buf.data(), buf.size());
  if (rc) return rc;
  if (!cdx::decodeTagHeader(buf, t->header)) return corrupt(f);
  t->headerPos = pos;
  t->indexFile = f;
  return 0;
}

int index4refresh(INDEX4FILE* f) {
  uint8_t head[16];
  int64_t got = file4read(&f->file, 0, head, sizeof head);
  if (got < 0) return int(got);
  if (got < int64_t(sizeof head)) {  // being created
    f->fileLength = 0;
    return 0;
  }
  uint32_t counter = 0, freeList = 0;
  if (!coding4::getBe(coding4::Bytes(head), 8, &counter) || !coding4::getLe(coding4::Bytes(head), 4, &freeList))
    return corrupt(f);
  if (counter == f->changeSeen && f->fileLength > 0) {
    // Nobody changed the file since we last saw it; our length is current.
    if (f->cache.size() > kCacheLimit && !f->changed) dropCache(f);
    return 0;
  }
  if (f->writeBackFailed) {
    // Another process wrote after our write-back stopped part way: the
    // changes we still hold no longer fit the file, and its tree is torn.
    f->writeBackFailed = false;
    f->needsRebuild = true;
    forgetChanges(f);
  }
  dropCache(f);
  f->changeSeen = counter;
  f->directory.header.freeList = freeList;
  for (auto& t : f->tags) {
    // Another process may have moved a root (a root split); reread heads.
    uint8_t th[16];
    int rc = file4readAll(&f->file, t->headerPos, th, sizeof th);
    if (rc) return rc;
    if (!coding4::getLe(coding4::Bytes(th), 0, &t->header.root) ||
        !coding4::getBe(coding4::Bytes(th), 8, &t->header.changeCounter))
      return corrupt(f);
  }
  int64_t len = file4len(&f->file);
  if (len < 0) return int(len);
  f->fileLength = len - len % cdx::kBlock;
  return 0;
}

CachedNode* index4node(INDEX4FILE* f, const TAG4FILE* t, uint32_t offset, int* rc) {
  if (CachedNode* cached = f->cache.find(offset)) return cached;
  if (offset % cdx::kBlock != 0 || offset < uint32_t(cdx::kBlock) ||
      int64_t(offset) + cdx::kBlock > f->fileLength) {
    *rc = corrupt(f);
    return nullptr;
  }
  std::array<uint8_t, cdx::kBlock> buf{};
  int r = file4readAll(&f->file, offset, buf.data(), buf.size());
  if (r) {
    *rc = r;
    return nullptr;
  }
  auto node = std::make_unique<CachedNode>();
  if (!cdx::decodeNode(buf, t->keyLen, t->fill, node->node)) {
    *rc = corrupt(f);
    return nullptr;
  }
  node->offset = offset;
  node->keyLen = t->keyLen;
  node->fill = t->fill;
  return f->cache.put(std::move(node));
}

void index4markDirty(INDEX4FILE* f, CachedNode* n) {
  n->imageValid = false;
  n->changedFrom = 0;
  n->changedTo = cdx::kBlock;
  if (n->dirty) return;
  n->dirty = true;
  f->dirtyNodes.push_back(n->offset);
}

void index4markImageChanged(INDEX4FILE* f, CachedNode* n, int from, int to) {
  if (!n->dirty) {
    n->dirty = true;
    f->dirtyNodes.push_back(n->offset);
    n->changedFrom = uint16_t(from);
    n->changedTo = uint16_t(to);
    return;
  }
  n->changedFrom = uint16_t(std::min<int>(n->changedFrom, from));
  n->changedTo = uint16_t(std::max<int>(n->changedTo, to));
}

namespace {

// Whether block is a node some tag of f uses: a tag header or root, a node
// in the cache (every node of a descent is), or a block on disk that reads
// as a node of one of the tags with entries and sound sibling links. A
// free block holds the next free block's offset and nothing a node could
// be read from; taking a node in use for a new one would join two parts of
// the tree.
bool blockInUse(INDEX4FILE* f, uint32_t block, std::span<const uint8_t> bytes) {
  if (block < 2 * uint32_t(cdx::kBlock) || f->cache.find(block) != nullptr) return true;
  auto isSibling = [f](uint32_t off) {
    return off == 0xFFFFFFFFu ||
           (off % cdx::kBlock == 0 && off >= uint32_t(cdx::kBlock) && int64_t(off) < f->fileLength);
  };
  auto usedBy = [&](const TAG4FILE& t) {
    if (block == t.header.root || block == t.headerPos || block == t.headerPos + cdx::kBlock) return true;
    if (bytes.size() < size_t(cdx::kBlock) || t.keyLen <= 0) return false;
    cdx::Node n;
    if (!cdx::decodeNode(bytes, t.keyLen, t.fill, n)) return false;
    return !n.entries.empty() && isSibling(n.left) && isSibling(n.right);
  };
  if (usedBy(f->directory)) return true;
  for (const auto& t : f->tags)
    if (usedBy(*t)) return true;
  return false;
}

}  // namespace

int index4extend(INDEX4FILE* f, uint32_t* block) {
  uint32_t head = f->directory.header.freeList;
  if (head != 0 && head != 0xFFFFFFFFu) {
    std::array<uint8_t, cdx::kBlock> bytes{};
    int64_t got = 0;
    auto raw = f->rawWrites.find(head);
    if (raw != f->rawWrites.end()) {
      // Freed by us since the last write-back: its link is not on disk yet.
      got = int64_t(std::min(raw->second.size(), bytes.size()));
      std::copy_n(raw->second.begin(), size_t(got), bytes.begin());
    } else if (head % cdx::kBlock == 0 && int64_t(head) + 4 <= f->fileLength) {
      got = file4read(&f->file, head, bytes.data(), int64_t(head) + cdx::kBlock <= f->fileLength ? cdx::kBlock : 4);
      if (got < 0) return int(got);
    }
    if (got < 4) return error4describe(f->codeBase, e4read, 0, "index4extend", f->file.name.c_str());
    uint32_t next = 0;
    if (!coding4::getLe(coding4::Bytes(bytes), 0, &next)) return corrupt(f);
    bool freedByUs = raw != f->rawWrites.end();
    // A link is the offset of a block, or 0 at the end of the list; a live
    // leaf or root read as a free block gives one that is not.
    bool badLink = next != 0 && next != 0xFFFFFFFFu && next % cdx::kBlock != 0;
    if (next == head || badLink || (!freedByUs && blockInUse(f, head, std::span<const uint8_t>(bytes.data(), size_t(got)))))
      return corrupt(f);
    if (freedByUs) f->rawWrites.erase(raw);
    f->directory.header.freeList = next;
    f->directory.headerChanged = true;
    *block = head;
  } else {
    if (f->fileLength + cdx::kBlock > 0x7FFFFE00) return error4describe(f->codeBase, e4write, 0, f->file.name.c_str());
    *block = uint32_t(f->fileLength);
    f->fileLength += cdx::kBlock;
  }
  f->changed = true;
  return 0;
}

void index4freeBlock(INDEX4FILE* f, uint32_t block) {
  std::vector<uint8_t> raw(cdx::kBlock, 0);
  // A block holds its four bytes of link: the write cannot fall short.
  (void)coding4::putLe(coding4::MutableBytes(raw), 0,
                       f->directory.header.freeList == 0xFFFFFFFFu ? 0 : f->directory.header.freeList);
  f->rawWrites[block] = std::move(raw);
  f->cache.erase(block);
  f->directory.header.freeList = block;
  f->directory.headerChanged = true;
  f->changed = true;
  f->generation++;
}

namespace {

int writeHead(INDEX4FILE* f, TAG4FILE& t) {
  uint8_t head[16];
  if (!cdx::encodeTagHeaderHead(t.header, std::span<uint8_t>(head, 16)))
    return error4describe(f->codeBase, e4result, 0, f->file.name.c_str());
  return file4write(&f->file, t.headerPos, head, sizeof head);
}

}  // namespace

namespace {

int writeCounter(INDEX4FILE* f) {
  uint8_t counter[4];
  if (!coding4::putBe(coding4::MutableBytes(counter), 0, f->directory.header.changeCounter))
    return error4describe(f->codeBase, e4result, 0, f->file.name.c_str());
  return file4write(&f->file, f->directory.headerPos + 8, counter, sizeof counter);
}

int writeChangesInOrder(INDEX4FILE* f, bool* counterWritten) {
  f->directory.header.changeCounter = f->changeSeen + 1;
  f->changeSeen = f->directory.header.changeCounter;
  int rc = writeCounter(f);
  if (rc) return rc;
  *counterWritten = true;
  f->writeRun.nodes.clear();  // what a failed write-back left
  // Write in offset order so a file that grows is written front to back;
  // nodes that follow each other in the file go out in one write.
  std::vector<uint32_t>& offsets = f->dirtyNodes;
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  std::vector<CachedNode*>& run = f->writeRun.nodes;
  std::vector<uint8_t>& bytes = f->writeRun.bytes;
  auto writeRun = [&]() {
    if (run.empty()) return 0;
    // From the first node's first changed byte to the last one's last. A
    // run of one is written from its image; longer runs are gathered.
    const size_t from = run.front()->changedFrom, to = run.back()->changedTo;
    std::span<const uint8_t> out = std::span<const uint8_t>(run[0]->image).subspan(from, to - from);
    if (run.size() > 1) {
      bytes.clear();
      for (CachedNode* n : run) bytes.insert(bytes.end(), n->image.begin(), n->image.end());
      out = std::span<const uint8_t>(bytes).subspan(from, bytes.size() - cdx::kBlock + to - from);
    }
    int rc = file4write(&f->file, int64_t(run[0]->offset) + int64_t(from), out.data(), out.size());
    if (rc) return rc;
    for (CachedNode* n : run) n->dirty = false;
    run.clear();
    return 0;
  };
  for (uint32_t off : offsets) {
    CachedNode* n = f->cache.find(off);
    if (n == nullptr || !n->dirty) continue;  // freed since, or written before a failure
    if (!n->imageValid) {
      if (!cdx::encodeNode(n->node, n->keyLen, n->fill, n->image))
        return error4describe(f->codeBase, e4result, 0, f->file.name.c_str());
      n->imageValid = true;
    }
    if (!run.empty() && run.back()->offset + cdx::kBlock != off) {
      int rc = writeRun();
      if (rc) return rc;
    }
    run.push_back(n);
  }
  rc = writeRun();
  if (rc) return rc;
  offsets.clear();
  for (auto& [off, raw] : f->rawWrites) {
    rc = file4write(&f->file, off, raw.data(), raw.size());
    if (rc) return rc;
  }
  f->rawWrites.clear();
  if (f->directory.headerChanged) {
    rc = writeHead(f, f->directory);
    if (rc) return rc;
    f->directory.headerChanged = false;
  }
  // Tag headers change when a root splits: rarely, so the tags are not
  // visited on every write-back.
  for (size_t k = 0; f->tagHeadersChanged && k < f->tags.size(); k++) {
    TAG4FILE& t = *f->tags[k];
    if (!t.headerChanged) continue;
    t.header.changeCounter++;
    rc = writeHead(f, t);
    if (rc) return rc;
    t.headerChanged = false;
  }
  f->tagHeadersChanged = false;
  f->changed = false;
  return 0;
}

}  // namespace

int index4writeChanges(INDEX4FILE* f) {
  if (!f->changed) return 0;
  if (f->needsRebuild) return index4refuseDamaged(f);
  uint32_t before = f->changeSeen;
  bool counterWritten = false;
  int rc = writeChangesInOrder(f, &counterWritten);
  if (rc == 0) {
    f->writeBackFailed = false;
    return 0;
  }
  if (!counterWritten) {  // nothing reached the file
    f->changeSeen = before;
    f->directory.header.changeCounter = before;
  }
  // The nodes not written stay dirty in the cache and are written again at
  // the next unlock, which mends the tree unless another process wrote to
  // the file in between (index4refresh then marks it for rebuilding).
  f->writeBackFailed = true;
  return rc;
}

void index4discardChanges(INDEX4FILE* f) {
  // A write-back that stopped part way is finished before a new change
  // starts (index4lockAll): what is dropped here is that change alone.
  if (f->writeBackFailed) f->needsRebuild = true;
  f->writeBackFailed = false;
  forgetChanges(f);
}

int index4refuseDamaged(INDEX4FILE* f) {
  return error4describe(f->codeBase, e4index, 0, f->file.name.c_str(), "an earlier write failed: rebuild the index");
}

int index4lock(INDEX4FILE* f) {
  if (f->lockHeld) return 0;
  CODE4* c = f->codeBase;
  int saved = c->lockAttempts;
  c->lockAttempts = 1;
  int rc = file4lock(&f->file, kIndexLockOffset, kLockByteLength);
  c->lockAttempts = saved;
  if (rc) return rc;
  f->lockHeld = true;
  rc = index4refresh(f);
  if (rc) {
    (void)file4unlock(&f->file, kIndexLockOffset, kLockByteLength);
    f->lockHeld = false;
  }
  return rc;
}

int index4unlock(INDEX4FILE* f) {
  if (!f->lockHeld) return 0;
  int rc = index4writeChanges(f);
  int rc2 = file4unlock(&f->file, kIndexLockOffset, kLockByteLength);
  f->lockHeld = false;
  return rc ? rc : rc2;
}

// After the locks are taken: refuses a file marked for rebuilding, and
// finishes a write-back that stopped part way before a new change begins.
int finishEarlierWriteBack(DATA4FILE* df) {
  for (INDEX4FILE* f : df->indexFiles) {
    if (f->needsRebuild) return index4refuseDamaged(f);
    if (f->writeBackFailed) {
      int rc = index4writeChanges(f);
      if (rc) return rc;
    }
  }
  return 0;
}

int index4lockAll(DATA4FILE* df) {
  CODE4* c = df->codeBase;
  int tries = 0;
  for (;;) {
    int rc = 0;
    size_t locked = 0;
    for (; locked < df->indexFiles.size(); locked++) {
      rc = index4lock(df->indexFiles[locked]);
      if (rc) break;
    }
    if (rc == 0) rc = finishEarlierWriteBack(df);
    if (rc == 0) return 0;
    // Releasing locks taken for nothing: no change was made, nothing to write.
    for (size_t i = 0; i < locked; i++) (void)index4unlock(df->indexFiles[i]);
    if (rc != r4locked) return rc;
    tries++;
    // As for every other lock: 0 tries once, a negative count for ever.
    int attempts = c->lockAttempts == 0 ? 1 : c->lockAttempts;
    if (attempts > 0 && tries >= attempts) return r4locked;
    platformClock().sleepMs(int64_t(c->lockDelay) * 10);
  }
}

int index4unlockAll(DATA4FILE* df) {
  int result = 0;
  for (INDEX4FILE* f : df->indexFiles) {
    int rc = index4unlock(f);
    if (rc && !result) result = rc;
  }
  return result;
}
