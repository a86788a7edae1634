// Windows only: UTF-8 text inside the program, UTF-16 at the system's
// calls, and Windows error codes turned into the errno values the rest of
// the platform layer reports.
#pragma once

#include <string>
#include <string_view>

// UTF-16 from UTF-8 (invalid sequences become U+FFFD).
std::wstring wideFromUtf8(std::string_view text);
// UTF-8 from UTF-16.
std::string utf8FromWide(std::wstring_view text);
// A path for the system: UTF-16 with '\' separators. "C:/db", "C:\db",
// "//server/share/db" and "\\server\share\db" all work.
std::wstring systemPath(const std::string& path);
// A path for the program: UTF-8 with '/' separators.
std::string programPath(std::wstring_view path);
// The errno value for a GetLastError() code. A sharing or lock violation is
// EWOULDBLOCK, as a conflicting flock or byte-range lock is on POSIX;
// names that cannot be reached (a share gone, a server down) are ENOENT or
// EIO, never a success.
int errnoFromWindows(unsigned long code);
// errnoFromWindows(GetLastError()), also stored in errno.
int lastWindowsError();
