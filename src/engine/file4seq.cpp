#include "engine/file4seq.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "engine/code4.h"

void file4seqReadInit(FILE4SEQ_READ* s, FILE4* f, int64_t startPos, size_t bufferSize) {
  s->file = f;
  s->pos = startPos;
  s->buffer.assign(std::max<size_t>(bufferSize, 1), 0);
  s->avail = 0;
  s->next = 0;
}

int64_t file4seqRead(FILE4SEQ_READ* s, void* out, size_t length) {
  char* dst = static_cast<char*>(out);
  size_t done = 0;
  while (done < length) {
    if (s->next == s->avail) {
      s->pos += static_cast<int64_t>(s->avail);
      s->avail = s->next = 0;
      int64_t n = file4read(s->file, s->pos, s->buffer.data(), s->buffer.size());
      if (n < 0) return n;
      if (n == 0) break;
      s->avail = static_cast<size_t>(n);
    }
    size_t take = std::min(length - done, s->avail - s->next);
    memcpy(dst + done, s->buffer.data() + s->next, take);
    s->next += take;
    done += take;
  }
  return static_cast<int64_t>(done);
}

int file4seqReadAll(FILE4SEQ_READ* s, void* out, size_t length) {
  int64_t n = file4seqRead(s, out, length);
  if (n < 0) return static_cast<int>(n);
  if (static_cast<size_t>(n) != length) {
    char where[64];
    snprintf(where, sizeof where, "length %zu", length);
    return error4describe(s->file->codeBase, e4read, loc4read, s->file->name.c_str(), where,
                          "file4seqReadAll");
  }
  return 0;
}

void file4seqWriteInit(FILE4SEQ_WRITE* s, FILE4* f, int64_t startPos, size_t bufferSize) {
  s->file = f;
  s->pos = startPos;
  s->buffer.assign(std::max<size_t>(bufferSize, 1), 0);
  s->used = 0;
}

int file4seqWriteFlush(FILE4SEQ_WRITE* s) {
  if (s->used == 0) return 0;
  int rc = file4write(s->file, s->pos, s->buffer.data(), s->used);
  if (rc != 0) return rc;
  s->pos += static_cast<int64_t>(s->used);
  s->used = 0;
  return 0;
}

int file4seqWrite(FILE4SEQ_WRITE* s, const void* data, size_t length) {
  const char* src = static_cast<const char*>(data);
  while (length > 0) {
    if (s->used == s->buffer.size()) {
      int rc = file4seqWriteFlush(s);
      if (rc != 0) return rc;
    }
    size_t take = std::min(length, s->buffer.size() - s->used);
    memcpy(s->buffer.data() + s->used, src, take);
    s->used += take;
    src += take;
    length -= take;
  }
  return 0;
}

int file4seqWriteRepeat(FILE4SEQ_WRITE* s, int64_t count, char byte) {
  char block[512];
  memset(block, byte, sizeof block);
  while (count > 0) {
    size_t take = static_cast<size_t>(std::min<int64_t>(count, sizeof block));
    int rc = file4seqWrite(s, block, take);
    if (rc != 0) return rc;
    count -= static_cast<int64_t>(take);
  }
  return 0;
}
