#include "common/file_access.h"

#include <atomic>
#include <cerrno>

namespace {

// Before the platform's file access is installed: no file exists.
class NoFileAccess : public FileAccess {
 public:
  ReadFileResult readWholeFile(const std::string&, size_t, std::string& out) override {
    out.clear();
    return ReadFileResult::CannotOpen;
  }
  ReadFileResult readPieces(const std::string&, const std::function<void(std::string_view)>&) override {
    return ReadFileResult::CannotOpen;
  }
  bool replaceFile(const std::string&, std::string_view, unsigned, std::string& reason) override {
    reason = "no file system";
    return false;
  }
  int appendToFile(const std::string&, std::string_view, bool, unsigned) override { return ENOSYS; }
  bool isDirectory(const std::string&) override { return false; }
};

NoFileAccess noFileAccess;
std::atomic<FileAccess*> current{nullptr};

}  // namespace

FileAccess& fileAccess() {
  FileAccess* access = current.load();
  return access ? *access : noFileAccess;
}

void setFileAccess(FileAccess* access) { current.store(access); }
