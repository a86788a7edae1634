// Memo file access: open, create, read an entry, write an entry in place
// or at newly allocated blocks. Layout in memo4.h.
#include "engine/memo4.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/code4.h"
#include "engine/coding4.h"

using coding4::getBe;
using coding4::putBe;

namespace {

constexpr uint32_t kMaxBlockSize = 65535;

int corrupt(MEMO4FILE* m, const char* why, int64_t block) {
  char where[64];
  snprintf(where, sizeof where, "block %" PRId64, block);
  return error4describe(m->file.codeBase, e4memoCorrupt, 0, m->file.name.c_str(), why, where);
}

int64_t blocksFor(uint64_t bytes, uint32_t blockSize) {
  return static_cast<int64_t>((bytes + blockSize - 1) / blockSize);
}

// Allocates need blocks at the next free block under the memo header lock.
int allocate(MEMO4FILE* m, int64_t need, int64_t* block) {
  bool wasLocked = m->headerLocked;
  if (!wasLocked) {
    int rc = file4lockAttempts(&m->file, kMemoLockOffset, kLockByteLength, -1);
    if (rc != 0) return rc;
    m->headerLocked = true;
  }
  uint8_t head[8];
  int64_t n = file4read(&m->file, 0, head, sizeof head);
  int rc = 0;
  uint32_t next = 0;
  if (n < 0) {
    rc = static_cast<int>(n);
  } else if (n < 8) {
    rc = error4describe(m->file.codeBase, e4read, loc4read, m->file.name.c_str(),
                        "memo4fileWritePart");
  } else {
    getBe(coding4::Bytes(head, 8), 0, &next);
    // A free pointer inside the header would overwrite it; start after it.
    int64_t first = blocksFor(kMemoHeaderSize, m->blockSize);
    int64_t start = std::max<int64_t>(next, first);
    if (start + need > 0xFFFFFFFFll) {
      rc = corrupt(m, "memo file full", start);
    } else {
      rc = putBe(coding4::MutableBytes(head, 8), 0, static_cast<uint32_t>(start + need))
               ? file4write(&m->file, 0, head, 4)
               : corrupt(m, "memo header", 0);
      if (rc == 0) *block = start;
    }
  }
  if (!wasLocked) {
    int u = file4unlock(&m->file, kMemoLockOffset, kLockByteLength);
    m->headerLocked = false;
    if (rc == 0) rc = u;
  }
  return rc;
}

}  // namespace

uint32_t memo4blockSizeFor(int requested) {
  if (requested < 33) return 33;
  if (requested > static_cast<int>(kMaxBlockSize)) return kMaxBlockSize;
  return static_cast<uint32_t>(requested);
}

int memo4fileOpen(MEMO4FILE* m, CODE4* c, std::string_view name) {
  int rc = file4open(&m->file, c, name);
  if (rc != 0) return rc;
  uint8_t head[8];
  int64_t n = file4read(&m->file, 0, head, sizeof head);
  if (n < 0) return static_cast<int>(n);
  uint16_t size = 0;
  if (n < 8 || !getBe(coding4::Bytes(head, 8), 6, &size) || size == 0)
    return corrupt(m, "bad memo header", 0);
  m->blockSize = size;
  return 0;
}

int memo4fileCreate(MEMO4FILE* m, CODE4* c, std::string_view name) {
  int rc = file4create(&m->file, c, name);
  if (rc != 0) {
    if (rc > 0) return rc;
    return rc == e4create ? error4describe(c, e4memoCreate, 0, std::string(name).c_str()) : rc;
  }
  if (name.empty()) m->file.removeOnClose = true;
  m->blockSize = memo4blockSizeFor(c->memoBlockSize);
  uint8_t head[kMemoHeaderSize] = {};
  uint32_t next = m->blockSize <= kMemoHeaderSize ? kMemoHeaderSize / m->blockSize : 1;
  // A block size that does not divide 512 would put block `next` inside
  // the header; round up so the first entry starts after it.
  if (next * m->blockSize < kMemoHeaderSize) ++next;
  if (!putBe(coding4::MutableBytes(head, sizeof head), 0, next) ||
      !putBe(coding4::MutableBytes(head, sizeof head), 6, static_cast<uint16_t>(m->blockSize)))
    return error4describe(c, e4result, 0, m->file.name.c_str());
  rc = file4write(&m->file, 0, head, sizeof head);
  if (rc == 0) rc = file4lenSet(&m->file, kMemoHeaderSize);
  return rc;
}

int memo4fileClose(MEMO4FILE* m) {
  int rc = 0;
  if (m->headerLocked) {
    rc = file4unlock(&m->file, kMemoLockOffset, kLockByteLength);
    m->headerLocked = false;
  }
  int closed = file4close(&m->file);
  return rc ? rc : closed;
}

int memo4fileRead(MEMO4FILE* m, int64_t block, std::string* out) {
  out->clear();
  if (block <= 0) return 0;
  int64_t pos = block * int64_t(m->blockSize);
  if (pos < kMemoHeaderSize) return corrupt(m, "memo block inside the header", block);
  // One read usually brings the entry header and the whole text.
  char first[1024];
  int64_t got = file4read(&m->file, pos, first, sizeof first);
  if (got < 0) return static_cast<int>(got);
  if (got < 8) return corrupt(m, "memo block past end of file", block);
  uint32_t size = 0;
  getBe(coding4::bytes(first, 8), 4, &size);
  if (int64_t(size) > got - 8) {
    // Longer than the first read: the file must hold it before we allocate.
    int64_t len = file4len(&m->file);
    if (len < 0) return static_cast<int>(len);
    if (int64_t(size) > len - pos - 8) return corrupt(m, "memo length past end of file", block);
  }
  try {
    out->resize(size);
  } catch (const std::bad_alloc&) {
    return error4(m->file.codeBase, e4memory, 0);
  }
  size_t inFirst = std::min<size_t>(size, static_cast<size_t>(got - 8));
  memcpy(out->data(), first + 8, inFirst);
  if (inFirst == size) return 0;
  int rc = file4readAll(&m->file, pos + 8 + int64_t(inFirst), out->data() + inFirst, size - inFirst);
  if (rc != 0) out->clear();
  return rc;
}

int memo4fileWritePart(MEMO4FILE* m, int64_t* block, std::string_view data, uint64_t offset) {
  if (offset == 0) {
    MEMO4WRITE one{*block, data};
    int rc = memo4fileWriteAll(m, &one, 1);
    if (rc == 0) *block = one.block;
    return rc;
  }
  if (m->file.isReadOnly)
    return error4describe(m->file.codeBase, e4write, loc4writeReadOnly, m->file.name.c_str());
  // Filling a piece of an existing entry: it must lie inside the entry.
  uint8_t head[8];
  int64_t pos = *block * int64_t(m->blockSize);
  if (*block <= 0) return corrupt(m, "no entry to fill", *block);
  int rc = file4readAll(&m->file, pos, head, sizeof head);
  if (rc != 0) return rc;
  uint32_t size = 0;
  getBe(coding4::Bytes(head, 8), 4, &size);
  if (offset + data.size() > size) return corrupt(m, "piece past the entry", *block);
  return file4write(&m->file, pos + 8 + int64_t(offset), data.data(), data.size());
}

int memo4fileWriteAll(MEMO4FILE* m, MEMO4WRITE* writes, size_t count) {
  if (m->file.isReadOnly)
    return error4describe(m->file.codeBase, e4write, loc4writeReadOnly, m->file.name.c_str());
  // First pass: which entries fit their old blocks, and how many new
  // blocks the others need together.
  std::vector<int64_t>& target = m->targets;
  target.assign(count, 0);
  int64_t fresh = 0;
  size_t freshData = 0;
  for (size_t i = 0; i < count; ++i) {
    std::string_view data = writes[i].data;
    if (data.empty()) continue;
    if (data.size() > 0xFFFFFFF0u) return error4(m->file.codeBase, e4parm, 0);
    int64_t need = blocksFor(data.size() + 8, m->blockSize);
    if (writes[i].block > 0) {
      uint8_t head[8];
      int64_t pos = writes[i].block * int64_t(m->blockSize);
      int64_t got = file4read(&m->file, pos, head, sizeof head);
      if (got < 0) return static_cast<int>(got);
      if (got == 8 && pos >= kMemoHeaderSize) {
        uint32_t oldSize = 0;
        getBe(coding4::Bytes(head, 8), 4, &oldSize);
        // The old entry's blocks: its data rounded up to whole blocks.
        if (need <= blocksFor(oldSize, m->blockSize)) target[i] = writes[i].block;
      }
    }
    if (target[i] == 0) {
      fresh += need;
      freshData += data.size();
    }
  }
  // The new entries take consecutive blocks from one allocation and go out
  // in one gathered write, each padded with zeros to its block boundary:
  // the file never ends inside a block we own. An entry's head and the
  // padding before it are one piece (a joint): three entries make seven
  // pieces, which the kernel takes without allocating (it does beyond 8).
  int64_t first = 0;
  if (fresh > 0) {
    int rc = allocate(m, fresh, &first);
    if (rc != 0) return rc;
  }
  m->joints.assign(static_cast<size_t>(fresh * m->blockSize) - freshData, '\0');
  m->pieces.clear();
  int64_t next = first;
  size_t jointStart = 0, jointEnd = 0;
  for (size_t i = 0; i < count; ++i) {
    std::string_view data = writes[i].data;
    if (data.empty()) continue;
    // Eight bytes for eight: the writes cannot fall short.
    auto putHead = [&](char* head) {
      (void)putBe(coding4::bytes(head, 8), 0, kMemoTypeText);
      (void)putBe(coding4::bytes(head, 8), 4, static_cast<uint32_t>(data.size()));
    };
    if (target[i] != 0) {  // in place, on its own
      char head[8];
      putHead(head);
      WritePiece entry[2] = {{head, 8}, {data.data(), data.size()}};
      int rc = file4writePieces(&m->file, target[i] * int64_t(m->blockSize), entry);
      if (rc != 0) return rc;
      continue;
    }
    target[i] = next;
    int64_t blocks = blocksFor(data.size() + 8, m->blockSize);
    next += blocks;
    putHead(m->joints.data() + jointEnd);
    jointEnd += 8;
    m->pieces.push_back({m->joints.data() + jointStart, jointEnd - jointStart});
    m->pieces.push_back({data.data(), data.size()});
    // This entry's padding starts the next joint.
    jointStart = jointEnd;
    jointEnd += static_cast<size_t>(blocks * m->blockSize) - 8 - data.size();
  }
  if (jointEnd > jointStart) m->pieces.push_back({m->joints.data() + jointStart, jointEnd - jointStart});
  if (!m->pieces.empty()) {
    int rc = file4writePieces(&m->file, first * int64_t(m->blockSize), m->pieces);
    if (rc != 0) return rc;
  }
  for (size_t i = 0; i < count; ++i) writes[i].block = target[i];
  return 0;
}
