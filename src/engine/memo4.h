// Memo files (.fpt): variable-length texts of M, G and X fields, kept in
// blocks outside the record. The record holds the number of the block where
// the entry starts.
//
// Header (the first 512 bytes; integers big-endian):
//
//   offset size  meaning
//   0      4     next free block number (BE)
//   4      2     0
//   6      2     block size in bytes (BE)
//   8      504   0 (other programs may leave bytes here; ignored)
//
// Entry, at block number x block size:
//
//   offset size    meaning
//   0      4       entry type (BE): 0 picture, 1 text; we write 1
//   4      4       data length (BE)
//   8      length  data
//
// An entry occupies ceil((length + 8) / block size) blocks. Abandoned blocks
// are never reused; the file only grows. The next-free pointer is changed
// under the memo header lock (1 byte at 0x40000000 of the .fpt file).
// Other programs may leave the file unpadded after the last entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file4.h"
#include "engine/lock_offsets.h"

struct CODE4;

inline constexpr int kMemoHeaderSize = 512;
inline constexpr uint32_t kMemoTypeText = 1;

struct MEMO4FILE {
  FILE4 file;
  uint32_t blockSize = 0;
  bool headerLocked = false;  // this process holds the memo header lock
  // memo4fileWriteAll's work lists, kept between writes: each entry's
  // block, the pieces of the write, and the new entries' heads with the
  // zeros that pad each to its last block's end.
  std::vector<int64_t> targets;
  std::vector<WritePiece> pieces;
  std::string joints;
};

// Opens the memo file name; reads and checks the block size. 0 or error.
[[nodiscard]] int memo4fileOpen(MEMO4FILE* m, CODE4* c, std::string_view name);
// Creates a memo file with the context's block size (name empty: a
// temporary file). 0 or error.
[[nodiscard]] int memo4fileCreate(MEMO4FILE* m, CODE4* c, std::string_view name);
[[nodiscard]] int memo4fileClose(MEMO4FILE* m);
// Reads the entry at block into out (block <= 0: empty). 0 or error
// (-1110 naming the file when the entry runs past the end of the file).
[[nodiscard]] int memo4fileRead(MEMO4FILE* m, int64_t block, std::string* out);
// Writes data as the new value of the entry at *block (0: none yet):
// in place when it fits the old entry's blocks, else at newly allocated
// blocks; *block receives the entry's block (0 when data is empty). With a
// non-zero offset, writes data at entry start + 8 + offset of the existing
// entry *block (filling an entry in pieces). 0 or error.
[[nodiscard]] int memo4fileWritePart(MEMO4FILE* m, int64_t* block, std::string_view data,
                                     uint64_t offset = 0);
// One entry of memo4fileWriteAll: the entry's block (0: none yet) and its
// new value; block receives where the value now is (0 when empty).
struct MEMO4WRITE {
  int64_t block;
  std::string_view data;
};
// Writes the new values of several entries (the changed memos of one
// record) as memo4fileWritePart would one by one, but allocates the blocks
// of the entries that do not fit in place under one hold of the memo
// header lock and writes them in one write. Blocks are stored back only
// when everything was written. 0 or error.
[[nodiscard]] int memo4fileWriteAll(MEMO4FILE* m, MEMO4WRITE* writes, size_t count);
// The block size rules for a new memo file: a size below 33 becomes 33.
uint32_t memo4blockSizeFor(int requested);
