// Buffered sequential reading and writing of a FILE4, used where a file is
// walked or written front to back (index builds, sort spill files). The
// buffer belongs to the reader / writer object; the FILE4 is not owned.
// Errors follow file4read / file4write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/file4.h"

struct FILE4SEQ_READ {
  FILE4* file = nullptr;
  int64_t pos = 0;  // file position of buffer[0]
  std::vector<char> buffer;
  size_t avail = 0;  // valid bytes in buffer
  size_t next = 0;   // next byte to hand out
};

struct FILE4SEQ_WRITE {
  FILE4* file = nullptr;
  int64_t pos = 0;  // file position of buffer[0]
  std::vector<char> buffer;
  size_t used = 0;
};

// Starts reading at startPos with a buffer of bufferSize bytes (at least 1).
void file4seqReadInit(FILE4SEQ_READ* s, FILE4* f, int64_t startPos, size_t bufferSize = 65536);
// Bytes read (fewer at end of file) or a negative error.
[[nodiscard]] int64_t file4seqRead(FILE4SEQ_READ* s, void* out, size_t length);
// Exactly length bytes; 0 or -70 ("file4seqReadAll").
[[nodiscard]] int file4seqReadAll(FILE4SEQ_READ* s, void* out, size_t length);

void file4seqWriteInit(FILE4SEQ_WRITE* s, FILE4* f, int64_t startPos, size_t bufferSize = 65536);
[[nodiscard]] int file4seqWrite(FILE4SEQ_WRITE* s, const void* data, size_t length);
// Writes count copies of byte.
[[nodiscard]] int file4seqWriteRepeat(FILE4SEQ_WRITE* s, int64_t count, char byte);
// Writes out what is buffered; 0 or error.
[[nodiscard]] int file4seqWriteFlush(FILE4SEQ_WRITE* s);
