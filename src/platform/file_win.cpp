// The real FileSystem over the Windows calls the maintenance program itself
// uses: share modes are real share modes (dwShareMode) and byte-range locks
// are LockFileEx locks, so both programs see each other's on the same
// machine and over a Windows share.
//
// Windows byte-range locks are mandatory: a read or write of bytes another
// handle has locked fails with ERROR_LOCK_VIOLATION. The engine's lock
// bytes (engine/lock_offsets.h) lie at 0x40000000 and above, past the data
// of every file under 1 GB, so they never meet a read. A memo file (or a
// table) that grows past 1 GB has data at the lock offsets: a read of those
// bytes while another program holds the lock fails, and it is reported as a
// lock conflict (EWOULDBLOCK, the engine's "locked"), never as a damaged
// file; the caller retries as for any lock. The maintenance program has the
// same limit on its files.
#include "platform/file.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <set>
#include <vector>

#include "platform/win_text.h"

namespace {

OVERLAPPED at(uint64_t pos) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(pos & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(pos >> 32);
  return o;
}

constexpr DWORD kMaxChunk = 1u << 30;

class WinFile : public PlatformFile {
 public:
  explicit WinFile(HANDLE h) : h_(h) {}
  ~WinFile() override { CloseHandle(h_); }

  int64_t read(int64_t pos, void* buffer, size_t length) override {
    size_t done = 0;
    while (done < length) {
      DWORD want = static_cast<DWORD>(length - done < kMaxChunk ? length - done : kMaxChunk);
      DWORD got = 0;
      OVERLAPPED o = at(static_cast<uint64_t>(pos) + done);
      if (!ReadFile(h_, static_cast<char*>(buffer) + done, want, &got, &o)) {
        DWORD e = GetLastError();
        if (e == ERROR_HANDLE_EOF) break;
        // Bytes locked by another handle: a lock conflict, not damage.
        if (e == ERROR_LOCK_VIOLATION) {
          errno = EWOULDBLOCK;
          return -EWOULDBLOCK;
        }
        return -lastWindowsError();
      }
      if (got == 0) break;
      done += got;
    }
    return static_cast<int64_t>(done);
  }

  int64_t write(int64_t pos, const void* buffer, size_t length) override {
    size_t done = 0;
    while (done < length) {
      DWORD want = static_cast<DWORD>(length - done < kMaxChunk ? length - done : kMaxChunk);
      DWORD put = 0;
      OVERLAPPED o = at(static_cast<uint64_t>(pos) + done);
      if (!WriteFile(h_, static_cast<const char*>(buffer) + done, want, &put, &o)) {
        int e = lastWindowsError();
        return done > 0 ? static_cast<int64_t>(done) : -e;
      }
      if (put == 0) break;
      done += put;
    }
    return static_cast<int64_t>(done);
  }

  int64_t length() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h_, &size)) return -lastWindowsError();
    return size.QuadPart;
  }

  int setLength(int64_t length) override {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = length;
    return SetFileInformationByHandle(h_, FileEndOfFileInfo, &info, sizeof info) ? 0 : lastWindowsError();
  }

  int flush() override { return FlushFileBuffers(h_) ? 0 : lastWindowsError(); }

  int lock(uint64_t offset, uint64_t length) override {
    OVERLAPPED o = at(offset);
    if (LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   static_cast<DWORD>(length & 0xFFFFFFFFu), static_cast<DWORD>(length >> 32), &o))
      return 0;
    return lastWindowsError();  // ERROR_LOCK_VIOLATION is EWOULDBLOCK
  }

  int unlock(uint64_t offset, uint64_t length) override {
    OVERLAPPED o = at(offset);
    if (UnlockFileEx(h_, 0, static_cast<DWORD>(length & 0xFFFFFFFFu), static_cast<DWORD>(length >> 32), &o))
      return 0;
    // Bytes this handle does not hold locked: nothing to release, as on
    // POSIX (the engine releases what it may hold without asking).
    if (GetLastError() == ERROR_NOT_LOCKED) return 0;
    return lastWindowsError();
  }

 private:
  HANDLE h_;
};

DWORD shareFlags(ShareMode share) {
  switch (share) {
    case ShareMode::exclusive:
      return 0;
    case ShareMode::denyWrite:
      return FILE_SHARE_READ;
    default:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
}

bool isDirectoryPath(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int openHandle(const std::string& path, DWORD access, DWORD share, DWORD disposition, HANDLE* out) {
  std::wstring wide = systemPath(path);
  HANDLE h = CreateFileW(wide.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // Opening a directory as a file is "access denied" on Windows.
    if (GetLastError() == ERROR_ACCESS_DENIED && isDirectoryPath(wide)) {
      errno = EISDIR;
      return EISDIR;
    }
    return lastWindowsError();
  }
  *out = h;
  return 0;
}

std::mutex privateMutex;
std::set<std::wstring> privateDirectories;  // full paths, lower case

std::wstring fullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::wstring();
  std::wstring out(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
  out.resize(n);
  while (out.size() > 3 && (out.back() == L'\\')) out.pop_back();
  CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

std::wstring directoryKey(const std::string& path) {
  std::wstring wide = systemPath(path);
  size_t slash = wide.rfind(L'\\');
  if (slash == std::wstring::npos) return fullPath(L".");
  // The root of a drive keeps its backslash ("C:" alone is a current directory).
  bool root = slash == 0 || (slash == 2 && wide[1] == L':');
  return fullPath(wide.substr(0, root ? slash + 1 : slash));
}

class WinFileSystem : public FileSystem {
 public:
  int open(const std::string& path, bool readOnly, ShareMode share,
           std::unique_ptr<PlatformFile>* out) override {
    HANDLE h;
    DWORD access = GENERIC_READ | (readOnly ? 0 : GENERIC_WRITE);
    if (int rc = openHandle(path, access, shareFlags(share), OPEN_EXISTING, &h)) return rc;
    *out = std::make_unique<WinFile>(h);
    return 0;
  }

  int create(const std::string& path, CreateMode mode, ShareMode share,
             std::unique_ptr<PlatformFile>* out) override {
    HANDLE h;
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    if (mode == CreateMode::createNew) {
      if (int rc = openHandle(path, access, shareFlags(share), CREATE_NEW, &h)) return rc;
      *out = std::make_unique<WinFile>(h);
      return 0;
    }
    // Cut an existing file only when nobody has it open: an open that
    // shares nothing proves it. Then settle on the share mode asked for.
    if (int rc = openHandle(path, access, 0, OPEN_ALWAYS, &h)) return rc;
    auto file = std::make_unique<WinFile>(h);
    if (int rc = file->setLength(0)) return rc;
    if (share == ShareMode::exclusive) {
      *out = std::move(file);
      return 0;
    }
    file.reset();
    return open(path, false, share, out);
  }

  int remove(const std::string& path) override {
    return DeleteFileW(systemPath(path).c_str()) ? 0 : lastWindowsError();
  }

  int rename(const std::string& from, const std::string& to) override {
    return MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : lastWindowsError();
  }

  bool exists(const std::string& path) override {
    return GetFileAttributesW(systemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool readOnlyAttribute(const std::string& path) override {
    DWORD a = GetFileAttributesW(systemPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0;
  }

  // Windows matches names without regard to case already (local disks and
  // shares alike): a name that does not exist as given exists in no case.
  std::string resolveName(const std::string& path) override { return path; }

  std::string tempDirectory() override {
    for (const wchar_t* name : {L"TEMP", L"TMP"}) {
      const wchar_t* v = _wgetenv(name);
      if (v != nullptr && *v != L'\0') return programPath(v);
    }
    return "";
  }

  int createWithMode(const std::string& path, unsigned mode, std::unique_ptr<PlatformFile>* out) override {
    HANDLE h;
    if (int rc = openHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            CREATE_NEW, &h))
      return rc;
    *out = std::make_unique<WinFile>(h);
    // Without a write bit the file becomes read-only once written and
    // closed, as a POSIX file created that way would be to others.
    if ((mode & 0222) == 0) setMode(path, mode);
    return 0;
  }

  // Permission bits have no Windows counterpart beyond the read-only
  // attribute; access is the directory's ACL, which files inherit.
  int setMode(const std::string& path, unsigned mode) override {
    std::wstring wide = systemPath(path);
    DWORD a = GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return lastWindowsError();
    DWORD want = (mode & 0200) != 0 ? (a & ~DWORD(FILE_ATTRIBUTE_READONLY)) : (a | FILE_ATTRIBUTE_READONLY);
    if (want == a) return 0;
    return SetFileAttributesW(wide.c_str(), want) ? 0 : lastWindowsError();
  }

  // Windows has no directory sync: NTFS journals its directory entries, and
  // rename() asks for the move to be written through. What is left is to
  // say whether the directory is there.
  int syncDirectory(const std::string& path) override {
    std::wstring wide = systemPath(path);
    if (!isDirectoryPath(wide)) return GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES ? lastWindowsError() : ENOTDIR;
    return 0;
  }
};

WinFileSystem winFileSystem;
FileSystem* currentFileSystem = &winFileSystem;

}  // namespace

FileSystem& platformFileSystem() { return *currentFileSystem; }

void setFileSystem(FileSystem* fs) { currentFileSystem = fs ? fs : &winFileSystem; }

int fileWriteAccess(const std::string& path) {
  std::wstring wide = systemPath(path);
  DWORD a = GetFileAttributesW(wide.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return lastWindowsError();
  if ((a & FILE_ATTRIBUTE_READONLY) != 0 && (a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    errno = EACCES;
    return EACCES;
  }
  DWORD flags = (a & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL;
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // Held open without sharing by someone else: the permission is not in
    // question.
    if (GetLastError() == ERROR_SHARING_VIOLATION) return 0;
    return lastWindowsError();
  }
  CloseHandle(h);
  return 0;
}

void addPrivateDirectory(const std::string& directory) {
  std::wstring key = fullPath(systemPath(directory));
  if (key.empty()) return;
  std::lock_guard<std::mutex> hold(privateMutex);
  privateDirectories.insert(key);
}

void removePrivateDirectory(const std::string& directory) {
  std::wstring key = fullPath(systemPath(directory));
  std::lock_guard<std::mutex> hold(privateMutex);
  privateDirectories.erase(key);
}

unsigned creationMode(const std::string& path) {
  std::wstring dir = directoryKey(path);
  std::lock_guard<std::mutex> hold(privateMutex);
  return !dir.empty() && privateDirectories.count(dir) != 0 ? kPrivateFileMode : 0666;
}

int64_t PlatformFile::writePieces(int64_t pos, std::span<const WritePiece> pieces) {
  std::string joined;
  for (const WritePiece& p : pieces) joined.append(static_cast<const char*>(p.data), p.length);
  return write(pos, joined.data(), joined.size());
}
