#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

int directoryInfo(const std::string& path, DirectoryInfo* out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno != 0 ? errno : EIO;
  out->isDirectory = S_ISDIR(st.st_mode);
  out->isRegularFile = S_ISREG(st.st_mode);
  out->writable = (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
  return 0;
}

int makeDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 ? 0 : (errno != 0 ? errno : EIO);
}

int directoryIsEmpty(const std::string& path, bool* empty) {
  DIR* d = ::opendir(path.c_str());
  if (d == nullptr) return errno != 0 ? errno : EIO;
  *empty = true;
  while (struct dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      *empty = false;
      break;
    }
  }
  ::closedir(d);
  return 0;
}

std::string currentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

int canonicalPath(const std::string& path, std::string* out) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return errno != 0 ? errno : EIO;
  *out = resolved;
  std::free(resolved);
  return 0;
}

std::string absolutePath(const std::string& path) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    std::string cwd = currentDirectory();
    // Without a current directory (removed under the process) there is no
    // absolute form; "/" + path would name another place altogether.
    if (cwd.empty()) return full.empty() ? "." : full;
    full = full.empty() ? cwd : cwd + "/" + full;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t slash = full.find('/', start);
    if (slash == std::string::npos) slash = full.size();
    std::string part = full.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}
