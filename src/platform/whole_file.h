// Whole-file reads, crash-safe whole-file replacement and appends for the
// small files of the program (settings, diagnostics, message files, the
// console password file), all through platformFileSystem(), so that a
// FaultFileSystem installed with setFileSystem() reaches them.
//
// Thread-safety: as the installed FileSystem (the real one has no state).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/file_access.h"

// Reads the file at path into out (at most maxSize bytes; a larger file
// gives TooLarge and an empty out). A directory or unreadable file gives
// CannotOpen and an empty out.
[[nodiscard]] ReadFileResult readWholeFile(const std::string& path, size_t maxSize, std::string& out);

// Hands the file's bytes to piece, kFilePieceSize at most at a time.
// CannotOpen when the file cannot be opened or a read fails part-way.
inline constexpr size_t kFilePieceSize = 16384;
[[nodiscard]] ReadFileResult readFilePieces(const std::string& path,
                                            const std::function<void(std::string_view)>& piece);

// Replaces the file at path with bytes: writes "<path>.XXXXXX" (a new file,
// only its owner may open it), gives it exactly mode, flushes it to disk,
// renames it over path and makes the rename durable. On any failure before
// the rename the old file is left whole, the temporary file is removed, and
// reason holds the system's text. Returns true on success.
[[nodiscard]] bool replaceFile(const std::string& path, std::string_view bytes, unsigned mode, std::string& reason);

// Adds bytes at the end of the file at path, creating it with mode (before
// the umask) when it is missing; truncate empties it first. 0, or the errno
// value of the failure (ENOSPC when the disk took only part of bytes).
int appendToFile(const std::string& path, std::string_view bytes, bool truncate, unsigned mode);
