// Whole-file reads, replacements and appends through the installed file
// system: every fault the FaultFileSystem can inject while a file is
// replaced leaves the old file as it was and no temporary file behind.
#include "platform/whole_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../common/test_support.h"
#include "platform/fault_file.h"
#include "support/installed_faults.h"

namespace {

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

std::vector<std::string> namesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

TEST(ReplaceFile, EveryFaultLeavesTheOldFileWholeAndNoTemporaryFile) {
  const std::string old = "[101] pop.example.org\r\n[152] old title\r\n";
  const std::string replacement(5000, 'n');
  struct Case {
    const char* name;
    std::function<void(FaultFileSystem&)> arm;
  } cases[] = {
      {"failCreate", [](FaultFileSystem& f) { f.failCreate = 1; }},
      {"failWrite", [](FaultFileSystem& f) { f.failWrite = 1; }},
      {"shortWrite", [](FaultFileSystem& f) { f.shortWrite = 1; }},
      {"diskFullAfter", [](FaultFileSystem& f) { f.diskFullAfter = 100; }},
      {"diskFullAtOnce", [](FaultFileSystem& f) { f.diskFullAfter = 0; }},
      {"failFlush", [](FaultFileSystem& f) { f.failFlush = 1; }},
      {"failRename", [](FaultFileSystem& f) { f.failRename = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    dir.write("orvserv.cfg", old);
    ::chmod(dir.file("orvserv.cfg").c_str(), 0600);
    std::string reason;
    {
      InstalledFaults faults;
      c.arm(faults);
      EXPECT_FALSE(replaceFile(dir.file("orvserv.cfg"), replacement, 0600, reason));
    }
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(dir.read("orvserv.cfg"), old);
    EXPECT_EQ(modeOf(dir.file("orvserv.cfg")), 0600u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"orvserv.cfg"});
  }
}

TEST(ReplaceFile, TheNewFileHasExactlyTheModeAskedForWhateverTheUmask) {
  ScratchDir dir;
  mode_t before = ::umask(077);
  std::string reason;
  bool group = replaceFile(dir.file("shared.txt"), "a", 0640, reason);
  ::umask(022);
  bool owner = replaceFile(dir.file("own.txt"), "b", 0600, reason);
  ::umask(before);
  ASSERT_TRUE(group && owner) << reason;
  EXPECT_EQ(modeOf(dir.file("shared.txt")), 0640u);
  EXPECT_EQ(modeOf(dir.file("own.txt")), 0600u);
  EXPECT_EQ(dir.read("own.txt"), "b");
}

TEST(ReplaceFile, WritersAtTheSameTimeEachLeaveAWholeFile) {
  // Temporary names are random: two writers never share one.
  ScratchDir dir;
  const std::string path = dir.file("orvserv.cfg");
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (char letter : std::string("abcdefgh"))
    writers.emplace_back([&, letter] {
      std::string reason;
      for (int i = 0; i < 20; ++i)
        if (!replaceFile(path, std::string(3000, letter), 0600, reason)) ++failures;
    });
  for (auto& w : writers) w.join();
  EXPECT_EQ(failures, 0);
  std::string text = dir.read("orvserv.cfg");
  ASSERT_EQ(text.size(), 3000u);
  EXPECT_EQ(text, std::string(3000, text[0]));
  EXPECT_EQ(namesIn(dir.path()).size(), 1u);
}

TEST(ReadWholeFile, FailuresGiveNothingAndSizesAreChecked) {
  ScratchDir dir;
  const std::string big(40000, 'x');  // several pieces
  dir.write("big", big);
  std::string out = "stale";
  EXPECT_EQ(readWholeFile(dir.file("big"), big.size(), out), ReadFileResult::Ok);
  EXPECT_EQ(out, big);
  EXPECT_EQ(readWholeFile(dir.file("big"), big.size() - 1, out), ReadFileResult::TooLarge);
  EXPECT_EQ(out, "");
  EXPECT_EQ(readWholeFile(dir.path(), 100, out), ReadFileResult::CannotOpen);
  EXPECT_EQ(readWholeFile(dir.file("none"), 100, out), ReadFileResult::CannotOpen);
  for (int failAt : {1, 2, 3}) {
    InstalledFaults faults;
    faults.failRead = failAt;
    out = "stale";
    EXPECT_EQ(readWholeFile(dir.file("big"), big.size(), out), ReadFileResult::CannotOpen) << failAt;
    EXPECT_EQ(out, "") << failAt;
  }
  InstalledFaults faults;
  faults.failOpen = 1;
  EXPECT_EQ(readWholeFile(dir.file("big"), big.size(), out), ReadFileResult::CannotOpen);
}

TEST(ReadWholeFile, APipeIsReadInOrder) {
  // A value file given as <(command) or /dev/stdin has no positions.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string text(20000, 'p');
  text += "end\n";
  std::thread writer([&] {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fds[1]);
  });
  std::string out;
  EXPECT_EQ(readWholeFile("/dev/fd/" + std::to_string(fds[0]), 1 << 20, out), ReadFileResult::Ok);
  writer.join();
  ::close(fds[0]);
  EXPECT_EQ(out, text);
}

TEST(AppendToFile, CreatesWithTheModeAppendsAndEmpties) {
  ScratchDir dir;
  const std::string path = dir.file("diagnostic.txt");
  mode_t before = ::umask(022);
  EXPECT_EQ(appendToFile(path, "one\n", false, 0640), 0);
  ::umask(before);
  EXPECT_EQ(modeOf(path), 0640u);
  EXPECT_EQ(appendToFile(path, "two\n", false, 0640), 0);
  EXPECT_EQ(dir.read("diagnostic.txt"), "one\ntwo\n");
  EXPECT_EQ(appendToFile(path, "", true, 0640), 0);
  EXPECT_EQ(dir.read("diagnostic.txt"), "");
  EXPECT_EQ(appendToFile(dir.file("no/such/dir"), "x", false, 0640), ENOENT);
}

TEST(AppendToFile, AFullDiskKeepsWhatFittedAndSaysSo) {
  ScratchDir dir;
  const std::string path = dir.file("diagnostic.txt");
  ASSERT_EQ(appendToFile(path, "first\n", false, 0640), 0);
  InstalledFaults faults;
  faults.diskFullAfter = 4;
  EXPECT_EQ(appendToFile(path, "second\n", false, 0640), ENOSPC);
  EXPECT_EQ(appendToFile(path, "third\n", false, 0640), ENOSPC);
  faults.diskFullAfter = -1;
  faults.failWrite = 1;
  EXPECT_EQ(appendToFile(path, "fourth\n", false, 0640), EIO);
  EXPECT_EQ(dir.read("diagnostic.txt"), "first\nseco");
}

TEST(FaultFileSystem, OnlyPathNarrowsTheFaultsToOneFileAndItsTemporaries) {
  ScratchDir dir;
  dir.write("other", "other");
  dir.write("orvserv.cfg", "old");
  InstalledFaults faults;
  faults.onlyPath = dir.file("orvserv.cfg");
  faults.diskFullAfter = 0;
  faults.failRead = 1;
  std::string out, reason;
  EXPECT_EQ(readWholeFile(dir.file("other"), 100, out), ReadFileResult::Ok);
  EXPECT_EQ(appendToFile(dir.file("other"), "+", false, 0600), 0);
  EXPECT_EQ(faults.reads, 0);
  EXPECT_FALSE(replaceFile(dir.file("orvserv.cfg"), "new", 0600, reason));  // its temporary is covered
  EXPECT_EQ(readWholeFile(dir.file("orvserv.cfg"), 100, out), ReadFileResult::CannotOpen);
  EXPECT_EQ(dir.read("other"), "other+");
  EXPECT_EQ(dir.read("orvserv.cfg"), "old");
}

}  // namespace
