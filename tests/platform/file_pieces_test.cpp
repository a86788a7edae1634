// Gathered writes on real files: many pieces (more than one system call
// takes), empty pieces, and a write the file size limit cuts short.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "../common/test_support.h"
#include "platform/file.h"

namespace {

std::unique_ptr<PlatformFile> createFile(const ScratchDir& dir) {
  std::unique_ptr<PlatformFile> f;
  EXPECT_EQ(platformFileSystem().create(dir.file("p.bin"), CreateMode::createAlways, ShareMode::shared, &f), 0);
  return f;
}

TEST(FilePieces, ManyAndEmptyPiecesLandInOrder) {
  ScratchDir dir;
  auto f = createFile(dir);
  ASSERT_TRUE(f);
  std::vector<std::string> texts;
  std::string expected = "head";
  for (int i = 0; i < 200; i++) {
    texts.push_back(i % 7 == 0 ? "" : std::string(size_t(i % 13 + 1), char('a' + i % 26)));
    expected += texts.back();
  }
  std::vector<WritePiece> pieces;
  for (const std::string& t : texts) pieces.push_back({t.data(), t.size()});
  ASSERT_EQ(f->write(0, "head", 4), 4);
  EXPECT_EQ(f->writePieces(4, pieces), int64_t(expected.size() - 4));
  f.reset();
  EXPECT_EQ(dir.read("p.bin"), expected);
}

// A write past the file size limit stops inside a piece: the count says
// how far it got, and the bytes before it are the pieces' own.
TEST(FilePieces, AShortWriteReportsWhatWasWritten) {
  ScratchDir dir;
  auto f = createFile(dir);
  ASSERT_TRUE(f);
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string a(600, 'a'), b(300, 'b'), c(400, 'c');
  WritePiece pieces[] = {{a.data(), a.size()}, {b.data(), b.size()}, {c.data(), c.size()}};
  int64_t n = f->writePieces(0, pieces);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(n, 1000);
  f.reset();
  EXPECT_EQ(dir.read("p.bin"), a + b + c.substr(0, 100));
}

}  // namespace
