// Recognising a Windows share (mountinfo lines, statfs magic numbers), the
// share-mode locks left out there, and the modes of files made in a
// private directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/file.h"
#include "platform/mount_info.h"

namespace {

namespace fs = std::filesystem;

const char* const kMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "98 22 0:50 / /mnt/tarnwick\\040data rw,relatime shared:60 - cifs //fs01/Tarnwick\\040Data "
    "rw,vers=3.1.1,cache=strict,username=svc,uid=999,forceuid,gid=999,forcegid,addr=10.0.0.5,"
    "file_mode=0660,dir_mode=0770,soft,nounix,serverino,mapposix,nobrl,rsize=4194304,wsize=4194304\n"
    "99 22 0:51 / /mnt/tarnwick rw,nosuid - smb3 //fs02/t rw,vers=3.0,cache=loose,actimeo=1\n"
    "100 98 0:52 / /mnt/tarnwick\\040data/sub rw shared:61 master:3 - tmpfs tmpfs rw,size=1024k\n"
    "garbage line without the separator\n";

TEST(MountInfo, ParsesLinesWithEscapedSpacesAndOptionalFields) {
  std::vector<MountEntry> entries = parseMountInfo(kMountInfo);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[1].mountPoint, "/mnt/tarnwick data");
  EXPECT_EQ(entries[1].fsType, "cifs");
  EXPECT_EQ(entries[1].source, "//fs01/Tarnwick Data");
  EXPECT_NE(entries[1].options.find("rw,relatime,rw,vers=3.1.1"), std::string::npos) << entries[1].options;
  EXPECT_EQ(entries[3].mountPoint, "/mnt/tarnwick data/sub");
  EXPECT_EQ(entries[3].fsType, "tmpfs");  // after two optional fields
}

TEST(MountInfo, TheLongestMountPointThatContainsThePathWins) {
  std::vector<MountEntry> entries = parseMountInfo(kMountInfo);
  auto typeAt = [&](const std::string& path) {
    const MountEntry* e = mountFor(entries, path);
    return e ? e->fsType : std::string("none");
  };
  EXPECT_EQ(typeAt("/mnt/tarnwick data/contacts.dbf"), "cifs");
  EXPECT_EQ(typeAt("/mnt/tarnwick data"), "cifs");
  EXPECT_EQ(typeAt("/mnt/tarnwick data/sub/x.dbf"), "tmpfs");
  EXPECT_EQ(typeAt("/mnt/tarnwick/@Orvane/logs.dbf"), "smb3");
  EXPECT_EQ(typeAt("/mnt/tarnwickx/logs.dbf"), "ext4");  // a longer name is not inside
  EXPECT_EQ(typeAt("/mnt/tarnwick datab"), "ext4");
  EXPECT_EQ(typeAt("relative"), "none");
}

TEST(MountInfo, OptionsThatMatterOnAShare) {
  std::vector<MountEntry> entries = parseMountInfo(kMountInfo);
  MountInfo strictNobrl, loose, neither;
  applyMountOptions(entries[1].options, &strictNobrl);
  EXPECT_TRUE(strictNobrl.noByteRangeLocks);
  EXPECT_FALSE(strictNobrl.looseCache);
  applyMountOptions(entries[2].options, &loose);
  EXPECT_FALSE(loose.noByteRangeLocks);
  EXPECT_TRUE(loose.looseCache);
  applyMountOptions("rw,nobrlx,cache=looser,xnobrl", &neither);
  EXPECT_FALSE(neither.noByteRangeLocks);
  EXPECT_FALSE(neither.looseCache);
}

TEST(MountInfo, SmbMagicNumbers) {
  EXPECT_TRUE(isSmbMagic(0xFF534D42UL));
  EXPECT_TRUE(isSmbMagic(0xFE534D42UL));
  EXPECT_TRUE(isSmbMagic(0x517BUL));
  EXPECT_FALSE(isSmbMagic(0xEF53UL));  // ext4
  EXPECT_FALSE(isSmbMagic(0x6969UL));  // NFS
  // statfs gives f_type sign-extended on some systems.
  EXPECT_TRUE(isSmbMagic(static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(0xFF534D42)))));
}

TEST(MountInfo, ThisMachinesTemporaryDirectoryIsNoShare) {
  EXPECT_FALSE(mountInfo(fs::temp_directory_path().string()).smb);
}

class FixedProbe : public MountProbe {
 public:
  MountInfo probe(const std::string&) override { return info; }
  MountInfo info;
};

class ScratchFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "orvmount.XXXXXX").string();
    dir = mkdtemp(templ.data());
    oldMask = umask(022);
  }
  void TearDown() override {
    setMountProbe(nullptr);
    removePrivateDirectory(dir);
    umask(oldMask);
    fs::remove_all(dir);
  }
  unsigned modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
  }
  std::string dir;
  mode_t oldMask = 0;
};

TEST_F(ScratchFiles, NoShareModeLocksOnAnSmbMount) {
  FileSystem& files = platformFileSystem();
  std::string path = dir + "/t.dbf";
  std::unique_ptr<PlatformFile> a, b;
  ASSERT_EQ(files.create(path, CreateMode::createNew, ShareMode::exclusive, &a), 0);
  // On a local disk the exclusive open keeps others out ...
  EXPECT_EQ(files.open(path, false, ShareMode::shared, &b), EWOULDBLOCK);
  a.reset();
  // ... on a share the server's byte-range locks do that job instead.
  FixedProbe share;
  share.info.smb = true;
  setMountProbe(&share);
  ASSERT_EQ(files.open(path, false, ShareMode::exclusive, &a), 0);
  EXPECT_EQ(files.open(path, false, ShareMode::exclusive, &b), 0);
  // Byte-range locks are still taken there.
  ASSERT_EQ(a->lock(100, 1), 0);
  EXPECT_EQ(b->lock(100, 1), EWOULDBLOCK);
}

TEST_F(ScratchFiles, FilesMadeInAPrivateDirectoryAreForOwnerAndGroup) {
  FileSystem& files = platformFileSystem();
  std::unique_ptr<PlatformFile> f;
  ASSERT_EQ(files.create(dir + "/before.dbf", CreateMode::createNew, ShareMode::shared, &f), 0);
  EXPECT_EQ(modeOf(dir + "/before.dbf"), 0644u);
  addPrivateDirectory(dir + "/.");
  for (const char* name : {"logs.dbf", "logs.fpt", "logs.cdx", "TEMP1234.DBF", "session.lok"}) {
    ASSERT_EQ(files.create(dir + "/" + name, CreateMode::createAlways, ShareMode::shared, &f), 0);
    EXPECT_EQ(modeOf(dir + "/" + name), kPrivateFileMode) << name;
  }
  // Only files made directly in it: not in a directory below.
  fs::create_directory(dir + "/below");
  ASSERT_EQ(files.create(dir + "/below/x.dbf", CreateMode::createNew, ShareMode::shared, &f), 0);
  EXPECT_EQ(modeOf(dir + "/below/x.dbf"), 0644u);
}

}  // namespace
