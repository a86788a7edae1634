// Locks: the offsets other programs use, retries with the clock, conflicts
// between handles of this process and with another process's POSIX locks,
// share modes, create safety, read-only files, temporary files, errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "data4_test_util.h"
#include "engine/file4.h"
#include "platform/fault_file.h"

TEST(File4Lock, RecordLockOffsets) {
  DATA4FILE f;
  f.header.headerLength = 354;
  f.header.recordLength = 100;
  EXPECT_EQ(d4lockOffset(&f, 5), 0x40000000u + 354 + 400);
  EXPECT_EQ(d4lockOffset(&f, 0), 0x40000000u);
  f.header.flags = 0x01;  // production index
  EXPECT_EQ(d4lockOffset(&f, 5), 0x7FFFFFF9u);
  EXPECT_EQ(d4lockOffset(&f, 0), 0x7FFFFFFEu);
  f.header.flags = 0;
  f.vfp = true;
  EXPECT_EQ(d4lockOffset(&f, 5), 0x7FFFFFF9u);
}

TEST(File4Lock, HeldElsewhereGivesUpAfterTenTriesAndNineWaits) {
  ScratchDir dir;
  ScopedFakeClock clock;
  FaultFileSystem fs;
  TestContext t;
  t.c.fileSystem = &fs;
  t.c.lockAttempts = 10;
  DATA4* d = d4create(&t.c, dir.file("l"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  uint64_t at = d4lockOffset(d->dataFile, 1);
  fs.heldElsewhere.push_back({at, 1});
  fs.locks = 0;
  EXPECT_EQ(d4lock(d, 1), r4locked);
  EXPECT_EQ(fs.locks, 10);
  EXPECT_EQ(clock.clock.sleeps, 9);
  EXPECT_EQ(clock.clock.slept, 9000);
  fs.heldElsewhere.clear();
  EXPECT_EQ(d4lock(d, 1), 0);
  (void)d4close(d);
}

TEST(File4Lock, ConflictsWithAnotherProcessPosixLock) {
  ScratchDir dir;
  TestContext t;
  t.c.lockAttempts = 1;
  DATA4* d = d4create(&t.c, dir.file("p"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  off_t at = static_cast<off_t>(d4lockOffset(d->dataFile, 1));
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t child = fork();
  if (child == 0) {
    int fd = open(dir.file("p.dbf").c_str(), O_RDWR);
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    char ok = fcntl(fd, F_SETLK, &fl) == 0 ? 'y' : 'n';
    (void)!write(ready[1], &ok, 1);
    char ch;
    (void)!read(done[0], &ch, 1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  EXPECT_EQ(d4lock(d, 1), r4locked);
  EXPECT_EQ(d4lock(d, 2), 0);  // other bytes are free
  ASSERT_EQ(write(done[1], "x", 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(d4lock(d, 1), 0);
  (void)d4close(d);
}

TEST(File4Lock, TwoHandlesOfOneProcessConflict) {
  ScratchDir dir;
  TestContext t;
  t.c.singleOpen = 0;
  t.c.lockAttempts = 3;
  t.c.unlockBeforeLock = 2;
  DATA4* a = d4create(&t.c, dir.file("h"), basicFields());
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(d4appendBlank(a), 0);
  DATA4* b = d4open(&t.c, dir.file("h"));
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(d4lock(a, 1), 0);
  EXPECT_EQ(d4lock(b, 1), r4locked);
  EXPECT_EQ(d4lockFile(b), r4locked);
  EXPECT_EQ(d4unlock(a), 0);
  EXPECT_EQ(d4unlock(a), r4unlocked);
  ASSERT_EQ(d4lockFile(b), 0);
  EXPECT_EQ(d4lock(a, 1), r4locked);
  EXPECT_EQ(d4unlock(b), 0);
  (void)d4close(b);
  (void)d4close(a);
}

TEST(File4Lock, ExclusiveOpenIsASharingViolationForOthers) {
  ScratchDir dir;
  TestContext t;
  DATA4* d = d4create(&t.c, dir.file("x"), basicFields());
  ASSERT_NE(d, nullptr);
  (void)d4close(d);
  t.c.accessMode = OPEN4DENY_RW;
  d = d4open(&t.c, dir.file("x"));
  ASSERT_NE(d, nullptr);
  TestContext other;
  EXPECT_EQ(d4open(&other.c, dir.file("x")), nullptr);
  EXPECT_EQ(error4code(&other.c), e4permiss);
  (void)d4close(d);
  error4set(&other.c, 0);
  DATA4* again = d4open(&other.c, dir.file("x"));
  EXPECT_NE(again, nullptr);
  (void)d4close(again);
}

TEST(File4, CreateSafetyLeavesExistingFileAlone) {
  ScratchDir dir;
  TestContext t;
  writeBytes(dir.file("keep"), {1, 2, 3});
  FILE4 f;
  EXPECT_EQ(file4create(&f, &t.c, dir.file("keep")), e4create);
  EXPECT_EQ(error4set(&t.c, 0), e4create);
  t.c.errorOnCreate = 0;
  EXPECT_EQ(file4create(&f, &t.c, dir.file("keep")), r4noCreate);
  EXPECT_EQ(readBytes(dir.file("keep")), (std::vector<unsigned char>{1, 2, 3}));
  t.c.createSafety = 0;
  ASSERT_EQ(file4create(&f, &t.c, dir.file("keep")), 0);
  EXPECT_EQ(file4len(&f), 0);
  (void)file4close(&f);
}

TEST(File4, ReadOnlyAttributeAllowsReadingAndRefusesWriting) {
  ScratchDir dir;
  TestContext t;
  writeBytes(dir.file("ro"), {'a', 'b'});
  chmod(dir.file("ro").c_str(), 0444);
  FILE4 f;
  ASSERT_EQ(file4open(&f, &t.c, dir.file("ro")), 0);
  EXPECT_TRUE(f.isReadOnly);
  char buf[2];
  EXPECT_EQ(file4read(&f, 0, buf, 2), 2);
  EXPECT_EQ(file4write(&f, 0, "x", 1), e4write);
  EXPECT_EQ(error4set(&t.c, 0), e4write);
  EXPECT_EQ(file4lenSet(&f, 0), e4parm);
  (void)file4close(&f);
}

TEST(File4, OpenErrorsMapToEngineCodes) {
  ScratchDir dir;
  TestContext t;
  FILE4 f;
  EXPECT_EQ(file4open(&f, &t.c, dir.file("missing")), e4fileFind);
  error4set(&t.c, 0);
  t.c.errorOnOpen = 0;
  EXPECT_EQ(file4open(&f, &t.c, dir.file("missing")), r4noOpen);
  EXPECT_EQ(error4code(&t.c), 0);
  t.c.accessMode = 7;
  t.c.errorOnOpen = 1;
  writeBytes(dir.file("there"), {1});
  EXPECT_EQ(file4open(&f, &t.c, dir.file("there")), e4open);
  error4set(&t.c, 0);
  EXPECT_EQ(file4create(&f, &t.c, dir.file("new")), r4noCreate);
}

TEST(File4, TemporaryFileNameAndRemoval) {
  ScratchDir dir;
  ScopedFakeClock clock;
  TestContext t;
  setenv("TEMP", dir.path().c_str(), 1);
  FILE4 a, b;
  ASSERT_EQ(file4temp(&a, &t.c, true), 0);
  // 1700000000 % 10000 = 0: TEMP0000.TMP; the second waits half a second.
  EXPECT_EQ(a.name, dir.file("TEMP0000.TMP"));
  ASSERT_EQ(file4temp(&b, &t.c, true, "SRT"), 0);
  EXPECT_EQ(b.name, dir.file("TEMP0000.SRT"));
  FILE4 c2;
  ASSERT_EQ(file4temp(&c2, &t.c, true), 0);
  EXPECT_EQ(clock.clock.sleeps, 2);
  EXPECT_EQ(c2.name, dir.file("TEMP0001.TMP"));
  (void)file4close(&a);
  (void)file4close(&b);
  (void)file4close(&c2);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  unsetenv("TEMP");
}

TEST(File4, CaseInsensitiveNamesInsideADirectory) {
  ScratchDir dir;
  TestContext t;
  std::filesystem::create_directory(dir.file("Sub"));
  DATA4* d = d4create(&t.c, dir.file("Sub/CONTACTS.DBF"), basicFields());
  ASSERT_NE(d, nullptr);
  (void)d4close(d);
  d = d4open(&t.c, dir.file("sub/contacts"));
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d4alias(d), "CONTACTS");
  EXPECT_EQ(d4field(d, "NOTES")->data, d);
  EXPECT_TRUE(d->dataFile->hasMemo);  // CONTACTS.fpt found
  (void)d4close(d);
}

namespace {

// Whether a byte of path is locked, as another open file sees it.
bool lockedElsewhere(const std::string& path, uint64_t at) {
  int fd = open(path.c_str(), O_RDWR);
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(at);
  fl.l_len = 1;
  bool locked = fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  close(fd);
  return locked;
}

}  // namespace

// An append ends by releasing its append and record bytes (in one call
// when nothing else of this process is locked between them), and never a
// lock another handle of this process holds.
TEST(File4Lock, AppendReleasesItsOwnLocksOnly) {
  ScratchDir dir;
  TestContext t;
  t.c.singleOpen = 0;
  t.c.unlockBeforeLock = 2;
  for (bool visualFoxPro : {false, true}) {  // the two lock schemes
    t.c.fileCompatibility = visualFoxPro ? 30 : 25;
    std::string name = dir.file(visualFoxPro ? "hi" : "lo");
    DATA4* a = d4create(&t.c, name, basicFields());
    ASSERT_NE(a, nullptr);
    DATA4FILE* f = a->dataFile;
    ASSERT_EQ(d4appendBlank(a), 0);
    std::string path = f->file.name;
    EXPECT_FALSE(lockedElsewhere(path, d4lockOffset(f, 0)));
    EXPECT_FALSE(lockedElsewhere(path, d4lockOffset(f, 1)));

    DATA4* b = d4open(&t.c, name);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(d4lock(b, 1), 0);
    ASSERT_EQ(d4appendBlank(a), 0);
    EXPECT_TRUE(lockedElsewhere(path, d4lockOffset(f, 1)));
    EXPECT_FALSE(lockedElsewhere(path, d4lockOffset(f, 0)));
    EXPECT_FALSE(lockedElsewhere(path, d4lockOffset(f, 2)));
    ASSERT_EQ(d4unlock(b), 0);
    EXPECT_FALSE(lockedElsewhere(path, d4lockOffset(f, 1)));
    (void)d4close(b);
    (void)d4close(a);
  }
}
