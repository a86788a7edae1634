// Compound index files (.cdx) and their tags.
//
// INDEX4FILE is one open .cdx file of a data file (shared by every handle on
// that data file); TAG4FILE one tag in it. INDEX4 and TAG4 are a data
// handle's view of them: each handle compiles its own key and filter
// expressions (they read that handle's record buffer) and keeps its own
// position in each tag.
//
// Block cache. Decoded nodes are cached per index file and written back when
// the index lock is released (or at flush). Before any read the directory's
// change counter is compared with the one last seen; when another process
// has changed the file the cache is dropped. Every node read from disk is
// checked (offsets, counts, leaf parameters); anything that does not fit is
// -310 "Not a Correct Index File", never a crash.
//
// Locking. The index lock is one byte of the .cdx file (lock_offsets.h). All
// index files of a data file are locked together (index4lockAll) and
// released together after writing changed nodes and headers with an
// incremented change counter.
//
// Ownership: the data file owns its INDEX4FILEs (dataFile->indexFiles), the
// handle its INDEX4s (d->indexes); both are freed by i4close / the close hook.
// One thread per context.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/cdx_format.h"
#include "engine/expr4.h"
#include "engine/file4.h"

struct CODE4;
struct DATA4;
struct DATA4FILE;
struct TAG4INFO;
struct INDEX4FILE;
struct INDEX4;

struct TAG4FILE {
  INDEX4FILE* indexFile = nullptr;
  std::string alias;      // tag name, upper case, at most 10 characters
  uint32_t headerPos = 0;
  cdx::TagHeader header;
  int keyLen = 0;
  char keyType = 'C';     // C, D, N, I, Y, L, T
  uint8_t fill = ' ';     // trailing fill byte of leaf keys
  short unique = 0;       // 0, 20, 25, -340, 15, -360
  bool descending = false;
  bool headerChanged = false;
  bool filterMarkWritten = false;  // the 0 byte at header offset 260
  bool isDirectory = false;
};

struct CachedNode {
  cdx::Node node;
  uint32_t offset = 0;
  int keyLen = 0;     // of the owning tag, for encoding
  uint8_t fill = 0;
  bool dirty = false; // set through index4markDirty only
  // The block as we last encoded it, while the node has not changed since
  // (index4markDirty clears it): after an insert or removal in a leaf only
  // the entries from the changed one on are encoded again.
  bool imageValid = false;
  std::array<uint8_t, cdx::kBlock> image;
  // While dirty: the bytes of the image that may differ from the block in
  // the file. Small changes (a separator, an entry added to a leaf) are
  // written as just those bytes.
  uint16_t changedFrom = 0, changedTo = cdx::kBlock;
};

// The cached nodes of one index file, by offset. A small direct-mapped
// table sits in front of the map: every key change looks up the same few
// nodes of each tag again, and hashing into the map took a tenth of an
// append's own time.
class NodeCache {
 public:
  CachedNode* find(uint32_t offset) {
    CachedNode*& slot = front_[slotOf(offset)];
    if (slot != nullptr && slot->offset == offset) return slot;
    auto it = map_.find(offset);
    if (it == map_.end()) return nullptr;
    slot = it->second.get();
    return slot;
  }
  // Adds a node whose offset is set, replacing any node cached there.
  CachedNode* put(std::unique_ptr<CachedNode> node) {
    CachedNode* p = node.get();
    map_[p->offset] = std::move(node);
    front_[slotOf(p->offset)] = p;
    return p;
  }
  void erase(uint32_t offset) {
    CachedNode*& slot = front_[slotOf(offset)];
    if (slot != nullptr && slot->offset == offset) slot = nullptr;
    map_.erase(offset);
  }
  void clear() {
    front_.fill(nullptr);
    map_.clear();
  }
  size_t size() const { return map_.size(); }

 private:
  static size_t slotOf(uint32_t offset) { return (offset / cdx::kBlock) % kFrontSlots; }
  static constexpr size_t kFrontSlots = 256;
  std::array<CachedNode*, kFrontSlots> front_{};  // null or a node held by map_
  std::unordered_map<uint32_t, std::unique_ptr<CachedNode>> map_;
};

struct INDEX4FILE {
  CODE4* codeBase = nullptr;
  DATA4FILE* dataFile = nullptr;
  FILE4 file;
  std::string upperName;
  TAG4FILE directory;
  std::vector<std::unique_ptr<TAG4FILE>> tags;
  uint32_t changeSeen = 0;   // directory change counter last seen
  int64_t fileLength = 0;    // next block to allocate
  bool lockHeld = false;
  bool changed = false;      // something to write before unlocking
  bool tagHeadersChanged = false;  // some tag's headerChanged is set
  // A write-back stopped part way: the cache holds what the file lacks, to
  // be written at the next unlock (index4file.cpp).
  bool writeBackFailed = false;
  // The tree in the file may be torn beyond mending: no key change is made
  // until the index is rebuilt.
  bool needsRebuild = false;
  uint64_t generation = 0;   // bumped whenever cached positions may be stale
  NodeCache cache;
  std::unordered_map<uint32_t, std::vector<uint8_t>> rawWrites;  // freed blocks
  // Offsets of the nodes marked dirty since the last write-back (a node
  // freed since then may be gone from the cache): the write-back visits
  // these instead of the whole cache.
  std::vector<uint32_t> dirtyNodes;
  struct {  // dirty nodes that follow each other in the file, written at once
    std::vector<CachedNode*> nodes;
    std::vector<uint8_t> bytes;
  } writeRun;
  uint32_t recCountHint = 0; // record count used to size new leaves
  int userCount = 0;
};

struct TAG4 {
  INDEX4* index = nullptr;
  TAG4FILE* tagFile = nullptr;
  EXPR4* expr = nullptr;
  EXPR4* filter = nullptr;
  // Position in the index's tag list of an earlier tag with the same key
  // (filter) expression text, or -1: key maintenance evaluates such an
  // expression once per record.
  int sameKeyAs = -1, sameFilterAs = -1;
  // Position of an earlier tag whose filter this one's extends as
  // "<its filter>.AND.<rest>", with the rest compiled alone; or -1.
  int filterExtends = -1;
  EXPR4* filterRest = nullptr;
  // When the filter (or its rest) is "number field = number": the field's
  // place in INDEX4::numberFields, and the number; else -1.
  int numberTest = -1;
  double number = 0;
  // Position: leaf node and entry, with the entry's key and record number
  // so the position can be found again after the cache changed.
  uint32_t leaf = 0;
  int entry = -1;
  std::string key;
  uint32_t recno = 0;
  uint64_t generation = 0;
  bool positioned = false;
  ~TAG4();
};

// A tag's key for one record, and whether the record passes its filter
// (the key is set only then).
struct KEY4STATE {
  std::string key;
  bool passes = false;
};

struct INDEX4 {
  DATA4* data = nullptr;
  INDEX4FILE* indexFile = nullptr;
  std::vector<std::unique_ptr<TAG4>> tags;
  // Every tag's key state for the record being changed (new and old),
  // kept between changes so that their buffers are reused.
  std::vector<KEY4STATE> newKeys, oldKeys;
  // The fields the tags' number tests compare (see TAG4::numberTest), each
  // read once per record, and their values for the record being changed.
  std::vector<EXPR4NUMFIELD> numberFields;
  std::vector<double> numberValues;
};

// Every tag's filter result and key for the current record, in tag order;
// expressions that tags share are evaluated once (index4_hooks.cpp).
[[nodiscard]] int index4tagKeys(INDEX4* idx, std::vector<KEY4STATE>& states);

// Opening, creating, closing (i4open.cpp, i4create.cpp).
INDEX4* i4open(DATA4* d, const char* name = nullptr);
INDEX4* i4create(DATA4* d, const char* name, const TAG4INFO* tags);
[[nodiscard]] int i4createResult(DATA4* d, const char* name, const TAG4INFO* tags, INDEX4** out);
[[nodiscard]] int i4close(INDEX4* i);
[[nodiscard]] int i4flush(INDEX4* i);
[[nodiscard]] int i4reindex(INDEX4* i);
TAG4* i4tag(INDEX4* i, const char* name);

// Tags of a data handle (i4tagsel.cpp).
TAG4* d4tag(DATA4* d, const char* name);
void d4tagSelect(DATA4* d, TAG4* t);
TAG4* d4tagSelected(DATA4* d);
TAG4* d4tagDefault(DATA4* d);
TAG4* d4tagNext(DATA4* d, TAG4* t);
TAG4* d4tagPrev(DATA4* d, TAG4* t);
[[nodiscard]] int d4reindex(DATA4* d);
const char* t4alias(const TAG4* t);
// Changes the unique mode of an open tag (0, 20, 25, -340, 15, -360).
[[nodiscard]] int t4uniqueSet(TAG4* t, short mode);

// Seeking (i4seek.cpp). Results: 0 found, 2 after, 3 end of file, 50
// locked, 80 no tag selected, or an error.
[[nodiscard]] int d4seek(DATA4* d, const char* text, int length = -1);
[[nodiscard]] int d4seekDouble(DATA4* d, double value);
[[nodiscard]] int d4seekText(DATA4* d, const char* text);
[[nodiscard]] int d4seekNumber(DATA4* d, double value);
[[nodiscard]] int d4seekLastText(DATA4* d, const char* text);
[[nodiscard]] int d4seekLastNumber(DATA4* d, double value);
// True for tags whose key expression gives N, n or d (the seek wrappers'
// numeric tags).
bool t4isNumeric(const TAG4* t);

// Index file internals shared by the index modules (index4file.cpp).
// Reports -310 "Not a Correct Index File" naming the file (and tag, if any).
int index4corrupt(const INDEX4FILE* f, const TAG4FILE* t = nullptr);
[[nodiscard]] int index4lock(INDEX4FILE* f);
[[nodiscard]] int index4unlock(INDEX4FILE* f);
// Locks every index file of the data file (retried as a set).
[[nodiscard]] int index4lockAll(DATA4FILE* df);
[[nodiscard]] int index4unlockAll(DATA4FILE* df);
// Drops the cache when another process changed the file; call before reads.
[[nodiscard]] int index4refresh(INDEX4FILE* f);
// Writes the changed nodes and headers; on failure the file is marked as
// needing a rebuild and the changes are dropped.
[[nodiscard]] int index4writeChanges(INDEX4FILE* f);
// Drops every change made since the last write-back (a failed key change).
void index4discardChanges(INDEX4FILE* f);
// -310 for a file whose write-back failed, telling to rebuild it.
int index4refuseDamaged(INDEX4FILE* f);
// A free block (free list or end of file); 0 or error.
[[nodiscard]] int index4extend(INDEX4FILE* f, uint32_t* block);
void index4freeBlock(INDEX4FILE* f, uint32_t block);
// Marks a cached node as changed, to be encoded and written whole at the
// next write-back.
void index4markDirty(INDEX4FILE* f, CachedNode* n);
// The node's image was brought up to date in place and only its bytes
// [from, to) changed: the write-back writes those (with any others changed
// since the last one).
void index4markImageChanged(INDEX4FILE* f, CachedNode* n, int from, int to);
// The node at offset, read and checked; null with *rc set on error.
CachedNode* index4node(INDEX4FILE* f, const TAG4FILE* t, uint32_t offset, int* rc);
// Reads and checks a tag header at pos.
[[nodiscard]] int index4readTagHeader(INDEX4FILE* f, uint32_t pos, TAG4FILE* t);
// Writes what is left, closes the file and frees f; the first error.
int index4closeFile(INDEX4FILE* f);
// The index file name for name (none: the production index), resolved
// without regard to case.
std::string i4fileName(DATA4* d, const char* name);
// Unique modes given when a file was created, so that reopening it in the
// same context keeps them (the file stores only unique / candidate bits).
void i4rememberModes(const INDEX4FILE* f);
void i4recallModes(INDEX4FILE* f);
// Makes d's view of an open index file (expressions compiled for d).
[[nodiscard]] int i4attach(DATA4* d, INDEX4FILE* f, INDEX4** out);
