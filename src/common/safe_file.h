// Whole-file reads and crash-safe whole-file writes for the small text
// files of the shell (settings). Everything else goes through platform/.
#pragma once

#include <string>
#include <string_view>

enum class ReadFileResult { Ok, CannotOpen, TooLarge };

// Reads the file at path into out (at most maxSize bytes; a larger file
// gives TooLarge and an empty out). A directory or unreadable file gives
// CannotOpen.
[[nodiscard]] ReadFileResult readWholeFile(const std::string& path, size_t maxSize, std::string& out);

// Replaces the file at path with bytes: writes a temporary file beside it,
// flushes it to disk, gives it mode, then renames it over path. On failure
// the old file is untouched, the temporary file removed, and reason holds
// the system's text. Returns true on success.
[[nodiscard]] bool replaceFile(const std::string& path, std::string_view bytes, unsigned mode, std::string& reason);
