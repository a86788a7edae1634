// Directory questions: emptiness, real paths, and absolute paths, also
// when the current directory has been removed under the process.
#include "platform/directory.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "../common/test_support.h"

namespace {

// Runs the test from dir, back to where it was afterwards.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : back_(std::filesystem::current_path()) { EXPECT_EQ(::chdir(dir.c_str()), 0); }
  ~InDirectory() { std::filesystem::current_path(back_); }

 private:
  std::filesystem::path back_;
};

TEST(Directory, EmptinessAndKinds) {
  ScratchDir dir;
  bool empty = false;
  ASSERT_EQ(directoryIsEmpty(dir.path(), &empty), 0);
  EXPECT_TRUE(empty);
  dir.write(".hidden", "x");
  ASSERT_EQ(directoryIsEmpty(dir.path(), &empty), 0);
  EXPECT_FALSE(empty);
  EXPECT_EQ(directoryIsEmpty(dir.file(".hidden"), &empty), ENOTDIR);
  EXPECT_EQ(directoryIsEmpty(dir.file("none"), &empty), ENOENT);
  DirectoryInfo info;
  ASSERT_EQ(directoryInfo(dir.file(".hidden"), &info), 0);
  EXPECT_TRUE(info.isRegularFile);
  EXPECT_FALSE(info.isDirectory);
}

TEST(Directory, CanonicalPathsResolveLinksAndDots) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.file("real/sub"));
  std::filesystem::create_directory_symlink(dir.file("real"), dir.file("link"));
  std::string real, out;
  ASSERT_EQ(canonicalPath(dir.file("real"), &real), 0);
  ASSERT_EQ(canonicalPath(dir.file("link/sub/../sub"), &out), 0);
  EXPECT_EQ(out, real + "/sub");
  EXPECT_EQ(canonicalPath(dir.file("link/none"), &out), ENOENT);
}

TEST(Directory, AbsolutePathsAgainstTheCurrentDirectory) {
  ScratchDir dir;
  std::string real;
  ASSERT_EQ(canonicalPath(dir.path(), &real), 0);
  std::filesystem::create_directory(dir.file("gone"));
  {
    InDirectory in(real);
    EXPECT_EQ(currentDirectory(), real);
    EXPECT_EQ(absolutePath("a/./b/../c/"), real + "/a/c");
    EXPECT_EQ(absolutePath(""), real);
    EXPECT_EQ(absolutePath("/x//y/.."), "/x");
  }
  InDirectory in(real + "/gone");
  ASSERT_EQ(::rmdir((real + "/gone").c_str()), 0);
  EXPECT_EQ(currentDirectory(), "");
  // Not "/tarnwick": that would be another directory altogether.
  EXPECT_EQ(absolutePath("tarnwick"), "tarnwick");
  EXPECT_EQ(absolutePath(""), ".");
  EXPECT_EQ(absolutePath("/srv/tarnwick/"), "/srv/tarnwick");
}

}  // namespace
