#include "platform/directory.h"

#include <windows.h>

#include <cerrno>
#include <vector>

#include "platform/win_text.h"

int directoryInfo(const std::string& path, DirectoryInfo* out) {
  std::wstring wide = systemPath(path);
  DWORD a = GetFileAttributesW(wide.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return lastWindowsError();
  out->isDirectory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out->isRegularFile = !out->isDirectory && (a & FILE_ATTRIBUTE_DEVICE) == 0;
  out->writable = false;
  if (out->isDirectory) {
    // The read-only attribute means nothing on a directory: ask for the
    // right to add a file.
    HANDLE h = CreateFileW(wide.c_str(), FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      out->writable = true;
      CloseHandle(h);
    }
  } else if ((a & FILE_ATTRIBUTE_READONLY) == 0) {
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    out->writable = h != INVALID_HANDLE_VALUE || GetLastError() == ERROR_SHARING_VIOLATION;
  }
  return 0;
}

int makeDirectory(const std::string& path) {
  return CreateDirectoryW(systemPath(path).c_str(), nullptr) ? 0 : lastWindowsError();
}

int directoryIsEmpty(const std::string& path, bool* empty) {
  std::wstring pattern = systemPath(path);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {  // not even "." (a drive root)
      *empty = true;
      return 0;
    }
    return lastWindowsError();
  }
  *empty = true;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") {
      *empty = false;
      break;
    }
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return 0;
}

std::string currentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return std::string();
  std::wstring buffer(n, L'\0');
  n = GetCurrentDirectoryW(n, buffer.data());
  if (n == 0) return std::string();
  buffer.resize(n);
  return programPath(buffer);
}

namespace {

// The length of the root of a full path: "C:/" is 3, "//server/share/" is
// up to the slash after the share name, "/" is 1; 0 for a relative path.
size_t rootLength(const std::string& p) {
  if (p.size() >= 2 && p[1] == ':') return p.size() >= 3 && p[2] == '/' ? 3 : 2;
  if (p.size() >= 2 && p[0] == '/' && p[1] == '/') {
    size_t server = p.find('/', 2);
    if (server == std::string::npos) return p.size();
    size_t share = p.find('/', server + 1);
    return share == std::string::npos ? p.size() : share + 1;
  }
  return !p.empty() && p[0] == '/' ? 1 : 0;
}

}  // namespace

int canonicalPath(const std::string& path, std::string* out) {
  std::wstring wide = systemPath(path);
  HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastWindowsError();
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD n;
  for (;;) {
    n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (n < buffer.size()) break;
    buffer.resize(n + 1);
  }
  int rc = n == 0 ? lastWindowsError() : 0;
  CloseHandle(h);
  if (rc != 0) return rc;
  std::wstring text(buffer.data(), n);
  // "\\?\C:\x" and "\\?\UNC\server\share\x" back to their usual spelling.
  if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) text = L"\\\\" + text.substr(8);
  else if (text.rfind(L"\\\\?\\", 0) == 0) text = text.substr(4);
  *out = programPath(text);
  return 0;
}

std::string absolutePath(const std::string& path) {
  std::string full = path;
  for (char& c : full)
    if (c == '\\') c = '/';
  if (rootLength(full) == 0 || (full.size() >= 2 && full[1] == ':' && rootLength(full) == 2) ||
      (full.size() >= 1 && full[0] == '/' && rootLength(full) == 1)) {
    // Relative, drive-relative ("C:x") or rooted on the current drive ("/x"):
    // Windows knows what they mean.
    std::wstring wide = systemPath(path.empty() ? std::string(".") : path);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return full.empty() ? "." : full;
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, out.data(), nullptr);
    out.resize(n);
    full = programPath(out);
  }
  size_t root = rootLength(full);
  std::string head = full.substr(0, root);
  std::vector<std::string> parts;
  size_t start = root;
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
  std::string result = head;
  if (!result.empty() && result.back() != '/') result += '/';
  for (size_t i = 0; i < parts.size(); ++i) result += (i ? "/" : "") + parts[i];
  return result;
}
