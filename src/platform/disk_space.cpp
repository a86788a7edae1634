#include "platform/disk_space.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <strings.h>

int diskFreeBytes(const std::string& path, uint64_t* out) {
  struct statvfs fs {};
  if (::statvfs(path.c_str(), &fs) != 0) return errno != 0 ? errno : EIO;
  *out = static_cast<uint64_t>(fs.f_bavail) * static_cast<uint64_t>(fs.f_frsize);
  return 0;
}

std::vector<SizedFile> filesEndingWith(const std::string& directory, const std::string& suffix) {
  std::vector<SizedFile> out;
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return out;
  while (dirent* entry = ::readdir(dir)) {
    size_t length = std::strlen(entry->d_name);
    if (length < suffix.size() || ::strcasecmp(entry->d_name + length - suffix.size(), suffix.c_str()) != 0)
      continue;
    std::string path = directory + "/" + entry->d_name;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    out.push_back({path, static_cast<uint64_t>(st.st_size)});
  }
  ::closedir(dir);
  return out;
}
