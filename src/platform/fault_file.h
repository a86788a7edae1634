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

  // Counters of calls made so far (since construction or reset()).
  int64_t reads = 0, writes = 0, locks = 0, setLengths = 0, flushes = 0, opens = 0, creates = 0, renames = 0;
  int64_t bytesWritten = 0;

  // Clears every armed fault and counter.
  void reset();

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
};
