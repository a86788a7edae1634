#include "platform/common_files.h"

#include "common/file_access.h"
#include "platform/directory.h"
#include "platform/whole_file.h"

namespace {

class PlatformFileAccess : public FileAccess {
 public:
  ReadFileResult readWholeFile(const std::string& path, size_t maxSize, std::string& out) override {
    return ::readWholeFile(path, maxSize, out);
  }
  ReadFileResult readPieces(const std::string& path, const std::function<void(std::string_view)>& piece) override {
    return readFilePieces(path, piece);
  }
  bool replaceFile(const std::string& path, std::string_view bytes, unsigned mode, std::string& reason) override {
    return ::replaceFile(path, bytes, mode, reason);
  }
  int appendToFile(const std::string& path, std::string_view bytes, bool truncate, unsigned mode) override {
    return ::appendToFile(path, bytes, truncate, mode);
  }
  bool isDirectory(const std::string& path) override {
    DirectoryInfo info;
    return directoryInfo(path, &info) == 0 && info.isDirectory;
  }
};

}  // namespace

void installPlatformFileAccess() {
  static PlatformFileAccess access;
  setFileAccess(&access);
}
