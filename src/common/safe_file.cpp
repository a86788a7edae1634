#include "common/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

ReadFileResult readWholeFile(const std::string& path, size_t maxSize, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ReadFileResult::CannotOpen;
  ReadFileResult result = ReadFileResult::Ok;
  char buffer[1024];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result = ReadFileResult::CannotOpen;
      break;
    }
    if (got == 0) break;
    if (out.size() + static_cast<size_t>(got) > maxSize) {
      result = ReadFileResult::TooLarge;
      break;
    }
    out.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  if (result != ReadFileResult::Ok) out.clear();
  return result;
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool replaceFile(const std::string& path, std::string_view bytes, unsigned mode, std::string& reason) {
  std::string name = path + ".XXXXXX";
  std::vector<char> temp(name.begin(), name.end());
  temp.push_back('\0');
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  bool ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
  int savedErrno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (ok && ::rename(temp.data(), path.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    ::unlink(temp.data());
    reason = std::strerror(savedErrno);
    return false;
  }
  // Make the rename itself durable; a failure here loses nothing already
  // written, so it is not reported.
  int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}
