// The Windows file system: share modes, LockFileEx locks between handles,
// UTF-8 names, case, rename over a file, drive-letter and UNC paths, and
// the Windows errors a database on a share meets.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "engine/lock_offsets.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/mount_info.h"
#include "platform/win_text.h"

namespace {

struct WinScratch {
  std::string path;
  WinScratch() {
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
      auto p = base / ("orv-win-" + std::to_string(random() % 1000000000u));
      if (std::filesystem::create_directory(p)) {
        path = programPath(p.wstring());
        break;
      }
    }
  }
  ~WinScratch() { std::filesystem::remove_all(std::filesystem::path(systemPath(path))); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

std::unique_ptr<PlatformFile> openOrFail(const std::string& path, bool readOnly, ShareMode share, int* rc) {
  std::unique_ptr<PlatformFile> f;
  *rc = platformFileSystem().open(path, readOnly, share, &f);
  return f;
}

}  // namespace

TEST(WinFile, ShareModesAreRealShareModes) {
  WinScratch dir;
  FileSystem& fs = platformFileSystem();
  std::unique_ptr<PlatformFile> first;
  ASSERT_EQ(fs.create(dir.file("t.dbf"), CreateMode::createNew, ShareMode::shared, &first), 0);
  first.reset();
  struct Case {
    ShareMode held;
    bool readOnly;
    ShareMode asked;
    int expected;
  } cases[] = {
      {ShareMode::shared, false, ShareMode::shared, 0},
      {ShareMode::exclusive, false, ShareMode::shared, EWOULDBLOCK},
      {ShareMode::shared, false, ShareMode::exclusive, EWOULDBLOCK},
      {ShareMode::denyWrite, true, ShareMode::shared, 0},  // a reader only
      {ShareMode::denyWrite, false, ShareMode::shared, EWOULDBLOCK},
  };
  for (const Case& c : cases) {
    int rc;
    auto held = openOrFail(dir.file("t.dbf"), c.held == ShareMode::denyWrite, c.held, &rc);
    ASSERT_EQ(rc, 0);
    auto second = openOrFail(dir.file("t.dbf"), c.readOnly, c.asked, &rc);
    EXPECT_EQ(rc, c.expected) << int(c.held) << " " << int(c.asked);
  }
}

TEST(WinFile, ByteRangeLocksConflictBetweenHandlesAtTheEngineOffsets) {
  WinScratch dir;
  FileSystem& fs = platformFileSystem();
  std::unique_ptr<PlatformFile> a, b;
  ASSERT_EQ(fs.create(dir.file("l.dbf"), CreateMode::createNew, ShareMode::shared, &a), 0);
  ASSERT_EQ(fs.open(dir.file("L.DBF"), false, ShareMode::shared, &b), 0);  // names match without case
  ASSERT_EQ(a->write(0, "0123456789", 10), 10);
  ASSERT_EQ(a->lock(kDataFileLockOffset, kDataFileLockLength), 0);
  EXPECT_EQ(b->lock(kDataLockHighBase, kLockByteLength), EWOULDBLOCK);
  EXPECT_EQ(b->lock(kDataFileLockOffset, 1), EWOULDBLOCK);
  // The lock bytes lie past the data: the other handle still reads it.
  char buffer[10];
  EXPECT_EQ(b->read(0, buffer, sizeof buffer), 10);
  ASSERT_EQ(a->unlock(kDataFileLockOffset, kDataFileLockLength), 0);
  EXPECT_EQ(b->lock(kDataLockHighBase, kLockByteLength), 0);
  EXPECT_EQ(a->lock(kDataLockHighBase, kLockByteLength), EWOULDBLOCK);
  // Closing a handle releases its locks.
  b.reset();
  EXPECT_EQ(a->lock(kDataLockHighBase, kLockByteLength), 0);
}

TEST(WinFile, OffsetsLengthAndRenameOverAFile) {
  WinScratch dir;
  FileSystem& fs = platformFileSystem();
  std::unique_ptr<PlatformFile> f;
  ASSERT_EQ(fs.create(dir.file("n.fpt"), CreateMode::createNew, ShareMode::shared, &f), 0);
  ASSERT_EQ(f->write(5000, "x", 1), 1);
  EXPECT_EQ(f->length(), 5001);
  char c = 0;
  EXPECT_EQ(f->read(5000, &c, 1), 1);
  EXPECT_EQ(c, 'x');
  EXPECT_EQ(f->read(6000, &c, 1), 0);  // past the end
  ASSERT_EQ(f->setLength(100), 0);
  EXPECT_EQ(f->length(), 100);
  EXPECT_EQ(f->flush(), 0);
  f.reset();
  std::unique_ptr<PlatformFile> g;
  ASSERT_EQ(fs.create(dir.file("m.tmp"), CreateMode::createNew, ShareMode::shared, &g), 0);
  g.reset();
  EXPECT_EQ(fs.rename(dir.file("m.tmp"), dir.file("n.fpt")), 0);
  EXPECT_FALSE(fs.exists(dir.file("m.tmp")));
  EXPECT_EQ(fs.create(dir.file("n.fpt"), CreateMode::createNew, ShareMode::shared, &g), EEXIST);
  EXPECT_EQ(fs.open(dir.file("none.dbf"), true, ShareMode::shared, &g), ENOENT);
  EXPECT_EQ(fs.syncDirectory(dir.path), 0);
}

TEST(WinFile, Utf8NamesReachTheSystemAsUtf16) {
  WinScratch dir;
  std::string name = dir.file("Donn\xC3\xA9" "es \xE2\x82\xAC.dbf");  // "Données €.dbf"
  std::unique_ptr<PlatformFile> f;
  ASSERT_EQ(platformFileSystem().create(name, CreateMode::createNew, ShareMode::shared, &f), 0);
  f.reset();
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(systemPath(dir.path)) / L"Donn\u00E9es \u20AC.dbf"));
  EXPECT_TRUE(platformFileSystem().exists(name));
  bool empty = true;
  EXPECT_EQ(directoryIsEmpty(dir.path, &empty), 0);
  EXPECT_FALSE(empty);
}

TEST(WinPath, DriveLettersAndUncPaths) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"C:/Tarnwick/data/../db", "C:/Tarnwick/db"},
      {"C:\\Tarnwick\\.\\db\\", "C:/Tarnwick/db"},
      {"\\\\server\\share\\tarnwick\\..\\db", "//server/share/db"},
      {"//server/share/tarnwick", "//server/share/tarnwick"},
      {"//server/share/..", "//server/share/"},
  };
  for (const Case& c : cases) EXPECT_EQ(absolutePath(c.in), c.out) << c.in;
  EXPECT_EQ(systemPath("//server/share/db"), L"\\\\server\\share\\db");
}

TEST(WinPath, UncPathsAreNetworkShares) {
  EXPECT_TRUE(mountInfo("//no-such-server.invalid/share/db").smb);
  WinScratch dir;
  EXPECT_FALSE(mountInfo(dir.path).smb);
}

TEST(WinErrors, WindowsErrorsAsErrnoValues) {
  struct Case {
    DWORD code;
    int expected;
  } cases[] = {
      {ERROR_SHARING_VIOLATION, EWOULDBLOCK}, {ERROR_LOCK_VIOLATION, EWOULDBLOCK}, {ERROR_FILE_NOT_FOUND, ENOENT},
      {ERROR_BAD_NETPATH, ENOENT},            {ERROR_ACCESS_DENIED, EACCES},       {ERROR_FILE_EXISTS, EEXIST},
      {ERROR_DISK_FULL, ENOSPC},              {ERROR_NETNAME_DELETED, EIO},        {ERROR_UNEXP_NET_ERR, EIO},
  };
  for (const Case& c : cases) EXPECT_EQ(errnoFromWindows(c.code), c.expected) << c.code;
}
