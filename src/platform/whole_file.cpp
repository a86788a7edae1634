#include "platform/whole_file.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>

#include "platform/file.h"

namespace {

// Reads path piece by piece until piece returns false (TooLarge), the end
// (Ok) or a failure (CannotOpen).
ReadFileResult readWhile(const std::string& path, const std::function<bool(std::string_view)>& piece) {
  std::unique_ptr<PlatformFile> file;
  if (platformFileSystem().open(path, true, ShareMode::shared, &file) != 0) return ReadFileResult::CannotOpen;
  std::string buffer(kFilePieceSize, '\0');
  for (int64_t pos = 0;;) {
    int64_t got = file->read(pos, buffer.data(), buffer.size());
    if (got < 0) return ReadFileResult::CannotOpen;
    if (got == 0) return ReadFileResult::Ok;
    if (!piece(std::string_view(buffer.data(), static_cast<size_t>(got)))) return ReadFileResult::TooLarge;
    pos += got;
  }
}

}  // namespace

ReadFileResult readWholeFile(const std::string& path, size_t maxSize, std::string& out) {
  out.clear();
  ReadFileResult result = readWhile(path, [&](std::string_view piece) {
    if (out.size() + piece.size() > maxSize) return false;
    out.append(piece);
    return true;
  });
  if (result != ReadFileResult::Ok) out.clear();
  return result;
}

ReadFileResult readFilePieces(const std::string& path, const std::function<void(std::string_view)>& piece) {
  return readWhile(path, [&](std::string_view bytes) {
    piece(bytes);
    return true;
  });
}

namespace {

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Six letters or digits for a temporary name, as mkstemp makes them.
std::string randomSuffix() {
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
  std::string suffix(6, 'X');
  for (char& c : suffix) c = letters[pick(generator)];
  return suffix;
}

// Writes bytes at pos; 0 or the errno value. A short count is the disk
// refusing the rest (ENOSPC unless the system said otherwise).
int writeAt(PlatformFile& file, int64_t pos, std::string_view bytes) {
  if (bytes.empty()) return 0;
  errno = 0;
  int64_t put = file.write(pos, bytes.data(), bytes.size());
  if (put < 0) return static_cast<int>(-put);
  if (static_cast<size_t>(put) < bytes.size()) return errno != 0 ? errno : ENOSPC;
  return 0;
}

}  // namespace

bool replaceFile(const std::string& path, std::string_view bytes, unsigned mode, std::string& reason) {
  FileSystem& fs = platformFileSystem();
  std::unique_ptr<PlatformFile> file;
  std::string temp;
  int rc = EEXIST;
  // A name taken by another writer is tried again with other letters, as
  // mkstemp does.
  for (int tries = 0; tries < 100 && rc == EEXIST; ++tries) {
    temp = path + "." + randomSuffix();
    rc = fs.createWithMode(temp, 0600, &file);
  }
  if (rc != 0) {
    reason = std::strerror(rc);
    return false;
  }
  rc = fs.setMode(temp, mode);
  if (rc == 0) rc = writeAt(*file, 0, bytes);
  if (rc == 0) rc = file->flush();
  file.reset();
  if (rc == 0) rc = fs.rename(temp, path);
  if (rc != 0) {
    (void)fs.remove(temp);
    reason = std::strerror(rc);
    return false;
  }
  // Make the rename itself durable; a failure here loses nothing already
  // written, so it is not reported.
  (void)fs.syncDirectory(directoryOf(path));
  return true;
}

int appendToFile(const std::string& path, std::string_view bytes, bool truncate, unsigned mode) {
  FileSystem& fs = platformFileSystem();
  std::unique_ptr<PlatformFile> file;
  int rc = fs.open(path, false, ShareMode::shared, &file);
  if (rc == ENOENT) {
    rc = fs.createWithMode(path, mode, &file);
    // Made by someone else in between: theirs is the file to add to.
    if (rc == EEXIST) rc = fs.open(path, false, ShareMode::shared, &file);
  }
  if (rc != 0) return rc;
  if (truncate && (rc = file->setLength(0)) != 0) return rc;
  if (bytes.empty()) return 0;
  int64_t end = file->length();
  if (end < 0) return static_cast<int>(-end);
  return writeAt(*file, end, bytes);
}
