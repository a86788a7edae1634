// External sort of index entries (key + record number) for index builds.
//
// Entries are fixed-size records: the key bytes followed by the record
// number BIG-endian, so one memcmp orders by key, then record number. They
// collect in memory up to a budget; a full buffer is sorted and spilled to a
// temporary file (file4temp, removed when closed) as one sorted run, and
// sort4get merges the runs. Errors follow file4*: reported and returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/file4.h"
#include "engine/file4seq.h"

struct CODE4;

struct SORT4RUN {
  FILE4 file;
  FILE4SEQ_READ reader;
  int64_t remaining = 0;  // entries not yet read
  std::vector<char> current;
};

struct SORT4 {
  CODE4* codeBase = nullptr;
  int keyLen = 0;
  size_t entrySize = 0;
  size_t budget = 0;            // bytes of entries held in memory
  std::vector<char> buffer;     // entries in arrival order
  std::vector<uint32_t> order;  // sorted entry indexes into buffer
  size_t next = 0;              // next entry of buffer to hand out (no runs)
  std::vector<std::unique_ptr<SORT4RUN>> runs;
  std::vector<size_t> heap;     // run indexes, a min-heap on current entry
  std::vector<char> mergeOut;  // the entry handed out by the merge
  bool merging = false;
  int64_t count = 0;
};

void sort4init(SORT4* s, CODE4* c, int keyLen, size_t budgetBytes = size_t(8) << 20);
[[nodiscard]] int sort4put(SORT4* s, const char* key, uint32_t recno);
// Ends the input: sorts what is in memory and prepares the merge.
[[nodiscard]] int sort4getInit(SORT4* s);
// Next entry in order: 0 with *key (valid until the next call) and *recno;
// 1 when there are no more; or an error.
[[nodiscard]] int sort4get(SORT4* s, const char** key, uint32_t* recno);
void sort4free(SORT4* s);
