// Files, byte-range locks and share modes: the engine's only way to the disk.
//
// FileSystem opens and creates files and answers questions about names;
// PlatformFile is one open file (one open file description). Every failure
// is reported as a positive errno value (0 = success) and errno is left set,
// so callers can describe the system error at the moment it happened.
//
// Share modes. POSIX has no deny-modes, so they are emulated with flock()
// on the open file, as other xBase programs on Linux do: a shared open takes
// LOCK_SH, an exclusive or deny-write open LOCK_EX, both non-blocking. A
// conflict is a sharing violation and is reported as EWOULDBLOCK. flock
// locks belong to the open file description, like Windows sharing, and do
// not interact with the byte-range locks below. On a CIFS/SMB mount no flock is
// taken (platform/mount_info.h): the SMB client would send it to the
// server as a whole-file lock that Windows enforces on every client.
//
// Byte-range locks are open-file-description locks (F_OFD_SETLK, write
// locks). Unlike classic POSIX (F_SETLK) locks they belong to the open file,
// not to the process: two handles on one file in one process conflict, as
// two Windows handles do, and closing another descriptor of the same file
// does not silently drop them. They still conflict with classic POSIX locks
// at the same offsets, which is what other Linux programs and Samba (for
// Windows clients on a shared directory) take. lock() never waits: a lock
// held elsewhere is EWOULDBLOCK, and the caller decides about retries.
//
// On Windows (file_win.cpp) share modes are the system's own (dwShareMode of
// CreateFileW) and byte-range locks are LockFileEx locks, the calls the
// maintenance program makes; a sharing or lock violation is EWOULDBLOCK
// there too, including a read of bytes another handle has locked.
//
// The process-wide FileSystem is platformFileSystem(); tests install a
// FaultFileSystem (platform/fault_file.h) with setFileSystem().
//
// Thread-safety: a PlatformFile is used by one thread at a time; the real
// FileSystem has no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

enum class ShareMode { shared, exclusive, denyWrite };

enum class CreateMode {
  createNew,     // fails with EEXIST when the file exists
  createAlways,  // an existing file is truncated, but only when no one else has it open
};

// One piece of a gathered write.
struct WritePiece {
  const void* data;
  size_t length;
};

class PlatformFile {
 public:
  virtual ~PlatformFile() = default;
  // Bytes read at pos (fewer at end of file), or -errno.
  virtual int64_t read(int64_t pos, void* buffer, size_t length) = 0;
  // Bytes written at pos (a short count means the disk refused the rest), or -errno.
  virtual int64_t write(int64_t pos, const void* buffer, size_t length) = 0;
  // Writes the pieces one after another from pos; like write otherwise.
  // This default joins them and writes once.
  virtual int64_t writePieces(int64_t pos, std::span<const WritePiece> pieces);
  // Current length, or -errno.
  virtual int64_t length() = 0;
  virtual int setLength(int64_t length) = 0;
  virtual int flush() = 0;
  // Write lock on [offset, offset + length); EWOULDBLOCK when held elsewhere.
  virtual int lock(uint64_t offset, uint64_t length) = 0;
  virtual int unlock(uint64_t offset, uint64_t length) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing file for reading (readOnly) or reading and writing.
  virtual int open(const std::string& path, bool readOnly, ShareMode share,
                   std::unique_ptr<PlatformFile>* out) = 0;
  // Creates a file for reading and writing.
  virtual int create(const std::string& path, CreateMode mode, ShareMode share,
                     std::unique_ptr<PlatformFile>* out) = 0;
  virtual int remove(const std::string& path) = 0;
  virtual int rename(const std::string& from, const std::string& to) = 0;
  virtual bool exists(const std::string& path) = 0;
  // The file's read-only attribute: no write permission bit is set.
  virtual bool readOnlyAttribute(const std::string& path) = 0;
  // The path of an existing file whose name matches path without regard to
  // ASCII case, component by component; path itself when it exists or when
  // nothing matches.
  virtual std::string resolveName(const std::string& path) = 0;
  // Directory for temporary files: $TEMP, else $TMP, else "" (current directory).
  virtual std::string tempDirectory() = 0;
  // Creates a new file (EEXIST when the name exists) for reading and
  // writing with the permission bits mode before the umask, taking no share
  // lock: for the small files of the program (settings, diagnostics) that
  // nobody else opens through the share modes. Its flush() also makes the
  // file's metadata durable (fsync rather than fdatasync).
  virtual int createWithMode(const std::string& path, unsigned mode, std::unique_ptr<PlatformFile>* out) = 0;
  // Gives the file at path exactly the permission bits mode (no umask).
  virtual int setMode(const std::string& path, unsigned mode) = 0;
  // Makes the entries of the directory at path (a rename in it) durable.
  virtual int syncDirectory(const std::string& path) = 0;
};

// Files created directly in a private directory (the gateway's own, which
// holds the mail it received) get kPrivateFileMode: owner read-write, the
// service's group may read (backups, orvdb), others nothing. Elsewhere new
// files get 0666 before the umask, as the maintenance program's own do.
inline constexpr unsigned kPrivateFileMode = 0640;
void addPrivateDirectory(const std::string& directory);
void removePrivateDirectory(const std::string& directory);
// The permission bits a file created at path gets (before the umask).
unsigned creationMode(const std::string& path);

// 0 when this process may write the existing file at path, else the
// system's reason (EACCES, EROFS, ...).
int fileWriteAccess(const std::string& path);

FileSystem& platformFileSystem();
// Installs fs (not owned); nullptr restores the real file system.
void setFileSystem(FileSystem* fs);
