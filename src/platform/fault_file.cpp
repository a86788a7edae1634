#include "platform/fault_file.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <random>

namespace {

class FaultFile : public PlatformFile {
 public:
  FaultFile(FaultFileSystem* fs, std::unique_ptr<PlatformFile> base, std::string path)
      : fs_(fs), base_(std::move(base)), path_(std::move(path)) {}

  int64_t read(int64_t pos, void* buffer, size_t length) override {
    if (fs_->fires(&fs_->reads, &fs_->failRead)) return fail();
    return base_->read(pos, buffer, length);
  }

  int64_t write(int64_t pos, const void* buffer, size_t length) override {
    if (fs_->crashed()) return int64_t(length);
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
    if (fs_->keepUnsynced) fs_->rememberWrite(base_.get(), path_, pos, allowed);
    int64_t n = base_->write(pos, buffer, allowed);
    if (n > 0) fs_->bytesWritten += n;
    if (full) errno = ENOSPC;
    return n;
  }

  int64_t length() override { return base_->length(); }

  int setLength(int64_t length) override {
    if (fs_->crashed()) return 0;
    if (fs_->fires(&fs_->setLengths, &fs_->failSetLength)) return -fail();
    return base_->setLength(length);
  }

  int flush() override {
    if (fs_->crashed()) return 0;
    if (fs_->fires(&fs_->flushes, &fs_->failFlush)) return -fail();
    int rc = base_->flush();
    if (rc == 0) fs_->forgetWrites(path_);
    return rc;
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
  std::string path_;
};

}  // namespace

FaultFileSystem::FaultFileSystem(FileSystem* base) : base_(base ? base : &platformFileSystem()) {}

void FaultFileSystem::reset() {
  failRead = failWrite = failLock = failSetLength = failFlush = failOpen = failCreate = failRename = 0;
  shortWrite = 0;
  diskFullAfter = -1;
  keepUnsynced = false;
  unsynced_.clear();
  crashed_ = false;
  heldElsewhere.clear();
  onlyPath.clear();
  reads = writes = locks = setLengths = flushes = opens = creates = renames = 0;
  bytesWritten = 0;
}

void FaultFileSystem::rememberWrite(PlatformFile* base, const std::string& path, int64_t pos, size_t length) {
  Unsynced u{path, pos, std::vector<uint8_t>(length, 0)};
  int64_t got = length > 0 ? base->read(pos, u.old.data(), length) : 0;
  if (got < 0) got = 0;
  std::fill(u.old.begin() + got, u.old.end(), uint8_t(0));
  unsynced_.push_back(std::move(u));
}

void FaultFileSystem::forgetWrites(const std::string& path) {
  std::erase_if(unsynced_, [&](const Unsynced& u) { return u.path == path; });
}

int FaultFileSystem::crash(uint64_t seed) {
  std::mt19937_64 random(seed);
  int lost = 0;
  // Newest first: a lost write puts back what it replaced, except the bytes
  // a newer write that was kept wrote over it.
  std::map<std::string, std::vector<bool>> kept;
  for (auto it = unsynced_.rbegin(); it != unsynced_.rend(); ++it) {
    std::vector<bool>& mine = kept[it->path];
    size_t end = size_t(it->pos) + it->old.size();
    if (mine.size() < end) mine.resize(end, false);
    if (random() % 2 == 0) {
      std::fill(mine.begin() + it->pos, mine.begin() + ptrdiff_t(end), true);
      continue;
    }
    std::unique_ptr<PlatformFile> f;
    if (base_->open(it->path, false, ShareMode::shared, &f) != 0) continue;
    for (size_t i = 0; i < it->old.size();) {
      size_t j = i;
      while (j < it->old.size() && !mine[size_t(it->pos) + j]) j++;
      if (j > i) (void)f->write(it->pos + int64_t(i), it->old.data() + i, j - i);
      while (j < it->old.size() && mine[size_t(it->pos) + j]) j++;
      i = j;
    }
    lost++;
  }
  unsynced_.clear();
  crashed_ = true;
  return lost;
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
  if (rc == 0) *out = std::make_unique<FaultFile>(this, std::move(f), path);
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
  if (rc == 0) *out = std::make_unique<FaultFile>(this, std::move(f), path);
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
  if (rc == 0) *out = std::make_unique<FaultFile>(this, std::move(f), path);
  return rc;
}

int FaultFileSystem::rename(const std::string& from, const std::string& to) {
  if ((covers(from) || covers(to)) && fires(&renames, &failRename)) {
    errno = error;
    return error;
  }
  return base_->rename(from, to);
}
