// What the disk holds and has left, for the gateway's disk budget: the
// free space of a file system and the sizes of files in a directory.
//
// Thread-safety: no state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Bytes an unprivileged writer may still use on the file system that holds
// path. 0, or the errno value of the failure.
[[nodiscard]] int diskFreeBytes(const std::string& path, uint64_t* out);

struct SizedFile {
  std::string path;
  uint64_t size = 0;
};

// The regular files of directory whose names end with suffix (letters in
// any case), with their sizes; empty when the directory cannot be read.
std::vector<SizedFile> filesEndingWith(const std::string& directory, const std::string& suffix);
