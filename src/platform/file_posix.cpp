// The real FileSystem over POSIX calls. See file.h for the lock kinds used.
#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "platform/mount_info.h"

namespace {

int lastError() { return errno != 0 ? errno : EIO; }

class PosixFile : public PlatformFile {
 public:
  // fullSync: flush() writes the file's metadata (its mode) too, not only
  // what reading it back needs.
  explicit PosixFile(int fd, bool fullSync = false) : fd_(fd), fullSync_(fullSync) {}
  ~PosixFile() override { ::close(fd_); }

  int64_t read(int64_t pos, void* buffer, size_t length) override {
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, length - done, pos + done);
      // A pipe (a value file given as <(...) or /dev/stdin) has no
      // positions: it is read in order.
      if (n < 0 && errno == ESPIPE) n = ::read(fd_, static_cast<char*>(buffer) + done, length - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return -lastError();
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  int64_t write(int64_t pos, const void* buffer, size_t length) override {
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::pwrite(fd_, static_cast<const char*>(buffer) + done, length - done, pos + done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return done > 0 ? static_cast<int64_t>(done) : -lastError();
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  int64_t writePieces(int64_t pos, std::span<const WritePiece> pieces) override {
    // pwritev takes a bounded number of pieces and may write fewer bytes
    // than asked: i and skip say how far the pieces are written.
    constexpr int kBatch = 64;
    size_t done = 0, i = 0, skip = 0;
    while (i < pieces.size()) {
      iovec iov[kBatch];
      int n = 0;
      for (size_t k = i; k < pieces.size() && n < kBatch; k++) {
        size_t from = k == i ? skip : 0;
        if (pieces[k].length > from)
          iov[n++] = {const_cast<char*>(static_cast<const char*>(pieces[k].data)) + from, pieces[k].length - from};
      }
      if (n == 0) break;
      ssize_t w = ::pwritev(fd_, iov, n, pos + static_cast<int64_t>(done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return done > 0 ? static_cast<int64_t>(done) : -lastError();
      }
      if (w == 0) break;
      done += static_cast<size_t>(w);
      for (size_t left = static_cast<size_t>(w); i < pieces.size();) {
        size_t rest = pieces[i].length - skip;
        if (left < rest) {
          skip += left;
          break;
        }
        left -= rest;
        i++;
        skip = 0;
      }
    }
    return static_cast<int64_t>(done);
  }

  int64_t length() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -lastError();
    return st.st_size;
  }

  int setLength(int64_t length) override {
    return ::ftruncate(fd_, length) == 0 ? 0 : lastError();
  }

  int flush() override { return (fullSync_ ? ::fsync(fd_) : ::fdatasync(fd_)) == 0 ? 0 : lastError(); }

  int lock(uint64_t offset, uint64_t length) override { return setLock(F_WRLCK, offset, length); }
  int unlock(uint64_t offset, uint64_t length) override { return setLock(F_UNLCK, offset, length); }

 private:
  int setLock(short type, uint64_t offset, uint64_t length) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;  // required by open-file-description locks
    while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
      if (errno == EINTR) continue;
      if (errno == EACCES || errno == EAGAIN) {
        errno = EWOULDBLOCK;
        return EWOULDBLOCK;
      }
      return lastError();
    }
    return 0;
  }

  int fd_;
  bool fullSync_;
};

// Takes the flock() that stands for the share mode; EWOULDBLOCK on conflict.
// Not on an SMB mount, where the server would enforce it as a mandatory
// lock on the whole file against the maintenance program.
int takeShareLock(int fd, ShareMode share, const std::string& path) {
  if (mountInfo(path).smb) return 0;
  int op = (share == ShareMode::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  while (::flock(fd, op) != 0) {
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? EWOULDBLOCK : lastError();
  }
  return 0;
}

std::mutex privateMutex;
std::set<std::string> privateDirectories;  // real paths

// The real path of the directory that holds path; "" when it has none.
std::string realDirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  char buffer[PATH_MAX];
  return ::realpath(dir.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

bool isDirectory(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

class PosixFileSystem : public FileSystem {
 public:
  int open(const std::string& path, bool readOnly, ShareMode share,
           std::unique_ptr<PlatformFile>* out) override {
    int fd = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0) return lastError();
    if (isDirectory(fd)) {
      ::close(fd);
      errno = EISDIR;
      return EISDIR;
    }
    return finish(fd, share, path, out);
  }

  int create(const std::string& path, CreateMode mode, ShareMode share,
             std::unique_ptr<PlatformFile>* out) override {
    int flags = O_RDWR | O_CREAT | O_CLOEXEC | (mode == CreateMode::createNew ? O_EXCL : 0);
    int fd = ::open(path.c_str(), flags, creationMode(path));
    if (fd < 0) return lastError();
    if (mode == CreateMode::createAlways) {
      // Prove that nobody has the file open before cutting it, then settle
      // on the share mode asked for.
      int rc = takeShareLock(fd, ShareMode::exclusive, path);
      if (rc == 0 && ::ftruncate(fd, 0) != 0) rc = lastError();
      if (rc != 0) {
        ::close(fd);
        errno = rc;
        return rc;
      }
    }
    return finish(fd, share, path, out);
  }

  int remove(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? 0 : lastError();
  }

  int rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : lastError();
  }

  bool exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  bool readOnlyAttribute(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
  }

  std::string resolveName(const std::string& path) override;

  int createWithMode(const std::string& path, unsigned mode, std::unique_ptr<PlatformFile>* out) override {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return lastError();
    *out = std::make_unique<PosixFile>(fd, true);
    return 0;
  }

  int setMode(const std::string& path, unsigned mode) override {
    return ::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : lastError();
  }

  int syncDirectory(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return lastError();
    int rc = ::fsync(fd) == 0 ? 0 : lastError();
    ::close(fd);
    return rc;
  }

  std::string tempDirectory() override {
    for (const char* name : {"TEMP", "TMP"}) {
      const char* v = std::getenv(name);
      if (v != nullptr && *v != '\0') return v;
    }
    return "";
  }

 private:
  static int finish(int fd, ShareMode share, const std::string& path, std::unique_ptr<PlatformFile>* out) {
    int rc = takeShareLock(fd, share, path);
    if (rc != 0) {
      ::close(fd);
      errno = rc;
      return rc;
    }
    *out = std::make_unique<PosixFile>(fd);
    return 0;
  }
};

// Finds the entry of dir whose name equals name without regard to ASCII case.
bool findNoCase(const std::string& dir, const std::string& name, std::string* found) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return false;
  bool ok = false;
  while (struct dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) {
      *found = e->d_name;
      ok = true;
      break;
    }
  }
  ::closedir(d);
  return ok;
}

std::string PosixFileSystem::resolveName(const std::string& path) {
  if (path.empty() || exists(path)) return path;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  std::string result;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    std::string next = i == 0 ? part : result + "/" + part;
    if (part.empty() || part == "." || part == ".." || exists(next)) {
      result = next;
      continue;
    }
    std::string found;
    if (!findNoCase(i == 0 ? "" : (result.empty() ? "/" : result), part, &found)) return path;
    result = i == 0 ? found : result + "/" + found;
  }
  return result;
}

PosixFileSystem posixFileSystem;
FileSystem* currentFileSystem = &posixFileSystem;

}  // namespace

FileSystem& platformFileSystem() { return *currentFileSystem; }

int fileWriteAccess(const std::string& path) {
  return ::access(path.c_str(), W_OK) == 0 ? 0 : lastError();
}

void addPrivateDirectory(const std::string& directory) {
  char buffer[PATH_MAX];
  if (::realpath(directory.c_str(), buffer) == nullptr) return;
  std::lock_guard<std::mutex> hold(privateMutex);
  privateDirectories.insert(buffer);
}

void removePrivateDirectory(const std::string& directory) {
  char buffer[PATH_MAX];
  if (::realpath(directory.c_str(), buffer) == nullptr) return;
  std::lock_guard<std::mutex> hold(privateMutex);
  privateDirectories.erase(buffer);
}

unsigned creationMode(const std::string& path) {
  std::string dir = realDirectoryOf(path);
  std::lock_guard<std::mutex> hold(privateMutex);
  return !dir.empty() && privateDirectories.count(dir) != 0 ? kPrivateFileMode : 0666;
}

void setFileSystem(FileSystem* fs) { currentFileSystem = fs ? fs : &posixFileSystem; }

int64_t PlatformFile::writePieces(int64_t pos, std::span<const WritePiece> pieces) {
  std::string joined;
  for (const WritePiece& p : pieces) joined.append(static_cast<const char*>(p.data), p.length);
  return write(pos, joined.data(), joined.size());
}
