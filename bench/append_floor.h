// The system calls of one shared append and nothing else, for the
// benchmarks that compare an engine append with SQLite: SQLite time /
// this time is the best ratio any engine can reach under the same locks.
//
// One append: on the data file lock the append byte, read the record
// count, lock the new record's byte; with an index, lock the index file
// and read its header; on the memo file lock its header, read it, write
// the next free block, unlock, write the entries; write the record and
// the data header; with an index, write the changed nodes and the index
// header and unlock the index; release both data locks with one unlock.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

struct AppendShape {
  int headerLength = 0;  // of the data file
  int recordLength = 0;
  long memoBytes = 0;    // written to the memo file per append
  int nodeWrites = 0;    // index nodes written per append; 0: no index
};

inline void floorLock(int fd, short type, off_t at, off_t length = 1) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = length;
  if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    perror("append floor: lock");
    exit(6);
  }
}

inline void floorIo(ssize_t done) {
  if (done < 0) {
    perror("append floor: read or write");
    exit(6);
  }
}

// Seconds for n appends of that shape, with files made in dir.
inline double appendFloorSeconds(const std::string& dir, int n, const AppendShape& shape) {
  int data = open((dir + "/floor.dbf").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  int memo = open((dir + "/floor.fpt").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  int index = shape.nodeWrites > 0 ? open((dir + "/floor.cdx").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644) : -1;
  if (data < 0 || memo < 0 || (shape.nodeWrites > 0 && index < 0)) {
    perror("append floor: open");
    exit(6);
  }
  // Record locks as a data file with a production index has them (below
  // the append byte), else as one without (above it).
  const bool indexed = shape.nodeWrites > 0;
  const off_t appendByte = indexed ? 0x7FFFFFFE : 0x40000000;
  std::string header(shape.headerLength, '\0'), record(shape.recordLength + 1, ' ');
  std::string entries(shape.memoBytes, 'm'), node(512, 'n');
  char count[4], memoHeader[8] = {}, indexHeader[16] = {};
  floorIo(pwrite(data, header.data(), header.size(), 0));
  floorIo(pwrite(memo, node.data(), node.size(), 0));
  // The index nodes already exist: an append rewrites them in place.
  for (int k = 0; indexed && k <= shape.nodeWrites; ++k) floorIo(pwrite(index, node.data(), 512, 512 * k));
  off_t memoEnd = 512;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    off_t at = shape.headerLength + off_t(i) * shape.recordLength;
    off_t recordByte = indexed ? appendByte - (i + 1) : 0x40000000 + at;
    floorLock(data, F_WRLCK, appendByte);
    floorIo(pread(data, count, 4, 4));
    floorLock(data, F_WRLCK, recordByte);
    if (indexed) {
      floorLock(index, F_WRLCK, 0x7FFFFFFE);
      floorIo(pread(index, indexHeader, 16, 0));
    }
    floorLock(memo, F_WRLCK, 0x40000000);
    floorIo(pread(memo, memoHeader, 8, 0));
    floorIo(pwrite(memo, memoHeader, 4, 0));
    floorLock(memo, F_UNLCK, 0x40000000);
    floorIo(pwrite(memo, entries.data(), entries.size(), memoEnd));
    memoEnd += static_cast<off_t>(entries.size());
    floorIo(pwrite(data, record.data(), record.size(), at));
    floorIo(pwrite(data, header.data(), 10, 0));
    if (indexed) {
      for (int k = 1; k <= shape.nodeWrites; ++k) floorIo(pwrite(index, node.data(), 512, 512 * k));
      floorIo(pwrite(index, indexHeader, 16, 0));
      floorLock(index, F_UNLCK, 0x7FFFFFFE);
    }
    off_t low = std::min(appendByte, recordByte), high = std::max(appendByte, recordByte);
    floorLock(data, F_UNLCK, low, high - low + 1);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  close(data);
  close(memo);
  if (index >= 0) close(index);
  return seconds;
}
