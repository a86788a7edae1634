// How the code of common reaches files: the settings file, the diagnostic
// file and the message files. common does not call the operating system;
// the platform layer supplies the implementation (platform/common_files.h)
// over its FileSystem, so that a fault-injecting file system installed
// there reaches these files too. The programs install it first thing in
// main(), the test binaries in their support code.
//
// Until one is installed, no file can be opened: reads give CannotOpen,
// writes fail with the reason "no file system", and no path is a directory.
//
// Thread-safety: install before any other thread starts; the calls
// themselves may be made from any thread when the implementation allows it
// (the platform one does).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

enum class ReadFileResult { Ok, CannotOpen, TooLarge };

class FileAccess {
 public:
  virtual ~FileAccess() = default;

  // Reads the file at path into out (at most maxSize bytes; a larger file
  // gives TooLarge and an empty out). A directory or unreadable file gives
  // CannotOpen and an empty out.
  [[nodiscard]] virtual ReadFileResult readWholeFile(const std::string& path, size_t maxSize,
                                                     std::string& out) = 0;
  // Hands the bytes of the file at path to piece, in order and a bounded
  // piece at a time, so that a large file is never held whole. CannotOpen
  // when the file cannot be opened or a read fails part-way (the caller
  // then drops what it was given).
  [[nodiscard]] virtual ReadFileResult readPieces(const std::string& path,
                                                  const std::function<void(std::string_view)>& piece) = 0;
  // Replaces the file at path with bytes: writes a temporary file beside
  // it, flushes it to disk, gives it mode, then renames it over path. On
  // failure the old file is untouched, the temporary file removed, and
  // reason holds the system's text. Returns true on success.
  [[nodiscard]] virtual bool replaceFile(const std::string& path, std::string_view bytes, unsigned mode,
                                         std::string& reason) = 0;
  // Adds bytes at the end of the file at path, creating it with mode (before
  // the umask) when it does not exist; truncate empties it first. 0, or the
  // errno value of the failure (ENOSPC when only part of bytes fitted).
  virtual int appendToFile(const std::string& path, std::string_view bytes, bool truncate, unsigned mode) = 0;
  // Whether path names a directory (symbolic links followed).
  virtual bool isDirectory(const std::string& path) = 0;
};

// The installed implementation, or the one that opens nothing.
FileAccess& fileAccess();
// Installs access (not owned; must outlive its use); nullptr removes it.
void setFileAccess(FileAccess* access);
