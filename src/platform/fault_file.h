// FaultFileSystem: a FileSystem that forwards to another one and fails on
// request, so that tests can drive every error path of the layers above.
//
// Faults are counted over all files opened through it. "The Nth read" means
// the Nth call of PlatformFile::read after the fault was armed (1 = the next
// one). Each armed fault fires once, except diskFullAfter, which holds until
// cleared. Armed faults and counters are plain fields: set them directly.
//
// onlyPath narrows the faults to some files: when it is not empty, only
// files whose path starts with it are counted and fail (the file itself and
// the temporary files written beside it, "<path>.XXXXXX"); every other file
// is passed through untouched.
//
// Lost writes (a power cut): with keepUnsynced set, every write to a file
// is remembered, with the bytes it replaced, until that file is flushed.
// crash(seed) then undoes, at random, some of the writes not yet flushed
// (each kept or lost with even chances, drawn from seed; a lost write that
// had extended the file leaves zeros), and from then on every write, flush
// and length change is dropped without a word, so that closing the
// program's handles changes nothing more. reset() ends the crashed state.
//
// Not thread-safe; meant for single-threaded tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

class FaultFileSystem : public FileSystem {
 public:
  // base is not owned; nullptr means the real file system.
  explicit FaultFileSystem(FileSystem* base = nullptr);

  // Call numbers at which to fail (0 = never). The failing call returns
  // error (default EIO) and does nothing.
  int64_t failRead = 0;
  int64_t failWrite = 0;
  int64_t failLock = 0;
  int64_t failSetLength = 0;
  int64_t failFlush = 0;
  int64_t failOpen = 0;
  int64_t failCreate = 0;  // create() and createWithMode()
  int64_t failRename = 0;
  int error = 5;  // EIO
  // The Nth write writes only half of its bytes and reports that count.
  int64_t shortWrite = 0;
  // Once this many bytes have been written in total (>= 0), every further
  // write stops at the limit and the rest fails with ENOSPC; -1 = no limit.
  int64_t diskFullAfter = -1;
  // Byte ranges that another process holds locked: any lock overlapping
  // one of them fails with EWOULDBLOCK.
  struct Range {
    uint64_t offset, length;
  };
  std::vector<Range> heldElsewhere;
  // Faults only for paths starting with this; "" = every file.
  std::string onlyPath;
  // Remember unflushed writes for crash() (see above).
  bool keepUnsynced = false;

  // Counters of calls made so far (since construction or reset()).
  int64_t reads = 0, writes = 0, locks = 0, setLengths = 0, flushes = 0, opens = 0, creates = 0, renames = 0;
  int64_t bytesWritten = 0;

  // Clears every armed fault and counter.
  void reset();
  // Loses some of the unflushed writes and drops every later one; returns
  // how many writes were lost.
  int crash(uint64_t seed);
  bool crashed() const { return crashed_; }
  // Used by the file wrapper: remembers a write about to be made, or
  // forgets the writes of a file that was flushed.
  void rememberWrite(PlatformFile* base, const std::string& path, int64_t pos, size_t length);
  void forgetWrites(const std::string& path);

  int open(const std::string& path, bool readOnly, ShareMode share,
           std::unique_ptr<PlatformFile>* out) override;
  int create(const std::string& path, CreateMode mode, ShareMode share,
             std::unique_ptr<PlatformFile>* out) override;
  int remove(const std::string& path) override { return base_->remove(path); }
  int rename(const std::string& from, const std::string& to) override;
  bool exists(const std::string& path) override { return base_->exists(path); }
  bool readOnlyAttribute(const std::string& path) override {
    return base_->readOnlyAttribute(path);
  }
  std::string resolveName(const std::string& path) override { return base_->resolveName(path); }
  std::string tempDirectory() override { return base_->tempDirectory(); }
  int createWithMode(const std::string& path, unsigned mode, std::unique_ptr<PlatformFile>* out) override;
  int setMode(const std::string& path, unsigned mode) override { return base_->setMode(path, mode); }
  int syncDirectory(const std::string& path) override { return base_->syncDirectory(path); }

  // Whether faults apply to path (see onlyPath).
  bool covers(const std::string& path) const;

  // Used by the file wrapper: advance a counter and say whether its fault fires.
  bool fires(int64_t* counter, int64_t* armed);

 private:
  FileSystem* base_;
  struct Unsynced {
    std::string path;
    int64_t pos;
    std::vector<uint8_t> old;  // the bytes the write replaced (zeros past the end)
  };
  std::vector<Unsynced> unsynced_;
  bool crashed_ = false;
};
