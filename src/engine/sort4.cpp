#include "engine/sort4.h"

#include <algorithm>
#include <cstring>

#include "engine/cdx_format.h"
#include "engine/coding4.h"
#include "engine/error4.h"

namespace {

// An entry of up to 16 bytes as two big-endian words: compared as
// integers, they order as the bytes do.
struct PackedEntry {
  uint64_t high, low;
  uint32_t index;  // in the buffer: equal entries keep their arrival order
  bool operator<(const PackedEntry& o) const {
    return high != o.high ? high < o.high : low != o.low ? low < o.low : index < o.index;
  }
};

// Up to 8 bytes of an entry, big-endian, zeros after them.
uint64_t bigEndianWord(const char* p, size_t n) {
  if (n >= 8) return cdx::getBE64(p);
  uint64_t v = 0;
  for (size_t i = 0; i < n; i++) v |= uint64_t(uint8_t(p[i])) << (56 - 8 * i);
  return v;
}

void sortBuffer(SORT4* s) {
  size_t n = s->buffer.size() / s->entrySize;
  s->order.resize(n);
  for (size_t i = 0; i < n; i++) s->order[i] = uint32_t(i);
  const char* base = s->buffer.data();
  size_t es = s->entrySize;
  // Keys often arrive in order (record numbers, dates, the one key of a
  // filtered tag's records): a pass that finds them so spares the sort.
  bool inOrder = true;
  for (size_t i = 1; i < n && inOrder; i++)
    inOrder = cdx::compareKeyBytes(base + (i - 1) * es, base + i * es, es) <= 0;
  if (inOrder) return;
  if (es <= 16) {
    // Most keys (numbers, dates, short codes) are short: sorting copies of
    // them as integers beats sorting indexes that point into the buffer.
    std::vector<PackedEntry> packed(n);
    for (size_t i = 0; i < n; i++) {
      const char* e = base + i * es;
      packed[i] = {bigEndianWord(e, es), es > 8 ? bigEndianWord(e + 8, es - 8) : 0, uint32_t(i)};
    }
    std::sort(packed.begin(), packed.end());
    for (size_t i = 0; i < n; i++) s->order[i] = packed[i].index;
    return;
  }
  std::sort(s->order.begin(), s->order.end(), [base, es](uint32_t a, uint32_t b) {
    int c = cdx::compareKeyBytes(base + a * es, base + b * es, es);
    return c < 0 || (c == 0 && a < b);
  });
}

int spill(SORT4* s) {
  sortBuffer(s);
  auto run = std::make_unique<SORT4RUN>();
  int rc = file4temp(&run->file, s->codeBase, true, "TMP");
  if (rc) return rc;
  FILE4SEQ_WRITE w;
  file4seqWriteInit(&w, &run->file, 0);
  for (uint32_t i : s->order) {
    rc = file4seqWrite(&w, s->buffer.data() + i * s->entrySize, s->entrySize);
    if (rc) return rc;
  }
  rc = file4seqWriteFlush(&w);
  if (rc) return rc;
  run->remaining = int64_t(s->order.size());
  s->runs.push_back(std::move(run));
  s->buffer.clear();
  s->order.clear();
  return 0;
}

bool runLess(SORT4* s, size_t a, size_t b) {
  int c = cdx::compareKeyBytes(s->runs[a]->current.data(), s->runs[b]->current.data(), s->entrySize);
  return c < 0 || (c == 0 && a < b);
}

// Reads the next entry of run i into its current slot; 0, 1 at end, or error.
int advance(SORT4* s, size_t i) {
  SORT4RUN& r = *s->runs[i];
  if (r.remaining == 0) return 1;
  int rc = file4seqReadAll(&r.reader, r.current.data(), s->entrySize);
  if (rc) return rc;
  r.remaining--;
  return 0;
}

}  // namespace

void sort4init(SORT4* s, CODE4* c, int keyLen, size_t budgetBytes) {
  s->codeBase = c;
  s->keyLen = keyLen;
  s->entrySize = size_t(keyLen) + 4;
  s->budget = std::max(budgetBytes, s->entrySize * 64);
  s->buffer.clear();
  s->buffer.reserve(std::min<size_t>(s->budget, size_t(1) << 20));
}

int sort4put(SORT4* s, const char* key, uint32_t recno) {
  if (s->buffer.size() + s->entrySize > s->budget) {
    int rc = spill(s);
    if (rc) return rc;
  }
  size_t at = s->buffer.size();
  s->buffer.resize(at + s->entrySize);
  std::memcpy(s->buffer.data() + at, key, size_t(s->keyLen));
  if (!coding4::putBe(coding4::bytes(s->buffer.data() + at, s->entrySize), size_t(s->keyLen), recno))
    return error4describe(s->codeBase, e4result, 0, "sort4put");
  s->count++;
  return 0;
}

int sort4getInit(SORT4* s) {
  if (s->runs.empty()) {
    sortBuffer(s);
    s->next = 0;
    return 0;
  }
  if (!s->buffer.empty()) {
    int rc = spill(s);
    if (rc) return rc;
  }
  s->merging = true;
  for (size_t i = 0; i < s->runs.size(); i++) {
    SORT4RUN& r = *s->runs[i];
    file4seqReadInit(&r.reader, &r.file, 0, 1 << 16);
    r.current.resize(s->entrySize);
    int rc = advance(s, i);
    if (rc < 0) return rc;
    if (rc == 0) s->heap.push_back(i);
  }
  auto cmp = [s](size_t a, size_t b) { return runLess(s, b, a); };
  std::make_heap(s->heap.begin(), s->heap.end(), cmp);
  return 0;
}

int sort4get(SORT4* s, const char** key, uint32_t* recno) {
  if (!s->merging) {
    if (s->next >= s->order.size()) return 1;
    const char* e = s->buffer.data() + s->order[s->next++] * s->entrySize;
    *key = e;
    if (!coding4::getBe(coding4::bytes(e, s->entrySize), size_t(s->keyLen), recno)) return error4(s->codeBase, e4result, 0);
    return 0;
  }
  auto cmp = [s](size_t a, size_t b) { return runLess(s, b, a); };
  std::vector<char>& out = s->mergeOut;
  if (s->heap.empty()) return 1;
  std::pop_heap(s->heap.begin(), s->heap.end(), cmp);
  size_t i = s->heap.back();
  out = s->runs[i]->current;
  int rc = advance(s, i);
  if (rc < 0) return rc;
  if (rc == 0)
    std::push_heap(s->heap.begin(), s->heap.end(), cmp);
  else
    s->heap.pop_back();
  *key = out.data();
  if (!coding4::getBe(coding4::bytes(out.data(), out.size()), size_t(s->keyLen), recno)) return error4(s->codeBase, e4result, 0);
  return 0;
}

void sort4free(SORT4* s) {
  for (auto& r : s->runs) (void)file4close(&r->file);
  s->runs.clear();
  s->heap.clear();
  s->buffer.clear();
  s->buffer.shrink_to_fit();
  s->order.clear();
  s->order.shrink_to_fit();
  s->merging = false;
  s->count = 0;
}
