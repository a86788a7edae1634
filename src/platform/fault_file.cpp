#include "platform/fault_file.h"

#include <cerrno>

namespace {

class FaultFile : public PlatformFile {
 public:
  FaultFile(FaultFileSystem* fs, std::unique_ptr<PlatformFile> base)
      : fs_(fs), base_(std::move(base)) {}

  int64_t read(int64_t pos, void* buffer, size_t length) override {
    if (fs_->fires(&fs_->reads, &fs_->failRead)) return fail();
    return base_->read(pos, buffer, length);
  }

  int64_t write(int64_t pos, const void* buffer, size_t length) override {
    bool shortOne = fs_->fires(&fs_->writes, &fs_->shortWrite);
    --fs_->writes;  // one call, counted once
    if (fs_->fires(&fs_->writes, &fs_->failWrite)) return fail();
    size_t allowed = length;
    if (shortOne) allowed = length / 2;
    bool full = false;
    if (fs_->diskFullAfter >= 0) {
      int64_t room = fs_->diskFullAfter - fs_->bytesWritten;
      if (room < static_cast<int64_t>(allowed)) {
        allowed = room > 0 ? static_cast<size_t>(room) : 0;
        full = true;
      }
    }
    if (allowed == 0 && length > 0) {
      errno = full ? ENOSPC : fs_->error;
      return -errno;
    }
    int64_t n = base_->write(pos, buffer, allowed);
    if (n > 0) fs_->bytesWritten += n;
    if (full) errno = ENOSPC;
    return n;
  }

  int64_t length() override { return base_->length(); }

  int setLength(int64_t length) override {
    if (fs_->fires(&fs_->setLengths, &fs_->failSetLength)) return -fail();
    return base_->setLength(length);
  }

  int flush() override {
    if (fs_->fires(&fs_->flushes, &fs_->failFlush)) return -fail();
    return base_->flush();
  }

  int lock(uint64_t offset, uint64_t length) override {
    if (fs_->fires(&fs_->locks, &fs_->failLock)) return -fail();
    for (const auto& r : fs_->heldElsewhere) {
      if (offset < r.offset + r.length && r.offset < offset + length) {
        errno = EWOULDBLOCK;
        return EWOULDBLOCK;
      }
    }
    return base_->lock(offset, length);
  }

  int unlock(uint64_t offset, uint64_t length) override { return base_->unlock(offset, length); }

 private:
  int64_t fail() {
    errno = fs_->error;
    return -fs_->error;
  }

  FaultFileSystem* fs_;
  std::unique_ptr<PlatformFile> base_;
};

}  // namespace

FaultFileSystem::FaultFileSystem(FileSystem* base) : base_(base ? base : &platformFileSystem()) {}

void FaultFileSystem::reset() {
  failRead = failWrite = failLock = failSetLength = failFlush = failOpen = failCreate = failRename = 0;
  shortWrite = 0;
  diskFullAfter = -1;
  heldElsewhere.clear();
  onlyPath.clear();
  reads = writes = locks = setLengths = flushes = opens = creates = renames = 0;
  bytesWritten = 0;
}

bool FaultFileSystem::fires(int64_t* counter, int64_t* armed) {
  ++*counter;
  if (*armed <= 0) return false;
  if (--*armed == 0) return true;
  return false;
}

bool FaultFileSystem::covers(const std::string& path) const {
  return path.compare(0, onlyPath.size(), onlyPath) == 0;
}

int FaultFileSystem::open(const std::string& path, bool readOnly, ShareMode share,
                          std::unique_ptr<PlatformFile>* out) {
  if (!covers(path)) return base_->open(path, readOnly, share, out);
  if (fires(&opens, &failOpen)) {
    errno = error;
    return error;
  }
  std::unique_ptr<PlatformFile> f;
  int rc = base_->open(path, readOnly, share, &f);
  if (rc == 0) *out = std::make_unique<FaultFile>(this, std::move(f));
  return rc;
}

int FaultFileSystem::create(const std::string& path, CreateMode mode, ShareMode share,
                            std::unique_ptr<PlatformFile>* out) {
  if (!covers(path)) return base_->create(path, mode, share, out);
  if (fires(&creates, &failCreate)) {
    errno = error;
    return error;
  }
  std::unique_ptr<PlatformFile> f;
  int rc = base_->create(path, mode, share, &f);
  if (rc == 0) *out = std::make_unique<FaultFile>(this, std::move(f));
  return rc;
}

int FaultFileSystem::createWithMode(const std::string& path, unsigned mode, std::unique_ptr<PlatformFile>* out) {
  if (!covers(path)) return base_->createWithMode(path, mode, out);
  if (fires(&creates, &failCreate)) {
    errno = error;
    return error;
  }
  std::unique_ptr<PlatformFile> f;
  int rc = base_->createWithMode(path, mode, &f);
  if (rc == 0) *out = std::make_unique<FaultFile>(this, std::move(f));
  return rc;
}

int FaultFileSystem::rename(const std::string& from, const std::string& to) {
  if ((covers(from) || covers(to)) && fires(&renames, &failRename)) {
    errno = error;
    return error;
  }
  return base_->rename(from, to);
}
