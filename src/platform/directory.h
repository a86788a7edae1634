// Directories: what the database layer needs to recognise, create and name
// a database directory. Errors are positive errno values (0 = success), as
// in file.h, and errno is left set.
//
// Not part of the FileSystem interface: faults in directory handling are
// tested with real directories (missing, not a directory, without write
// permission), which need no injection.
#pragma once

#include <string>

struct DirectoryInfo {
  bool isDirectory = false;
  bool isRegularFile = false;
  // The path may be written: a write permission bit is set and the calling
  // process has write access.
  bool writable = false;
};

// Attributes of path; ENOENT and the like when it cannot be examined.
int directoryInfo(const std::string& path, DirectoryInfo* out);
// Creates one directory (mode 0777 before the umask). EEXIST when the name exists.
int makeDirectory(const std::string& path);
// Whether the directory at path has no entries besides "." and "..";
// 0 or the reason it cannot be listed.
int directoryIsEmpty(const std::string& path, bool* empty);
// The current directory; "" when it cannot be told (removed, unreadable).
std::string currentDirectory();
// path with every symbolic link, "." and ".." resolved, for an existing
// path; ENOENT and the like otherwise.
int canonicalPath(const std::string& path, std::string* out);
// path made absolute against the current directory; "." and ".." parts and
// repeated or trailing "/" are removed. An empty path is the current directory.
// When the current directory cannot be told (it was removed), a relative
// path is returned as it is ("." for an empty one).
std::string absolutePath(const std::string& path);
