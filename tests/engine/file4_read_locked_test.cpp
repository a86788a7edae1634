// Where byte-range locks are mandatory (Windows), reading bytes that
// another program has locked is refused. That is a lock conflict the caller
// may retry, not a damaged or unreadable file.
#include <gtest/gtest.h>

#include <cerrno>

#include "data4_test_util.h"
#include "engine/file4.h"
#include "platform/fault_file.h"

TEST(File4Read, BytesLockedElsewhereAreALockConflictNotAReadError) {
  ScratchDir dir;
  FaultFileSystem fs;
  TestContext t;
  t.c.fileSystem = &fs;
  DATA4* d = d4create(&t.c, dir.file("m"), basicFields());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d4appendBlank(d), 0);
  char buffer[8];
  struct Case {
    int error;
    int expected;
  } cases[] = {{EWOULDBLOCK, e4lock}, {EIO, e4read}};
  for (const Case& c : cases) {
    error4set(&t.c, 0);
    fs.reset();
    fs.error = c.error;
    fs.failRead = 1;
    EXPECT_EQ(file4read(&d->dataFile->file, 0, buffer, sizeof buffer), c.expected) << c.error;
    EXPECT_EQ(error4code(&t.c), c.expected) << c.error;
  }
  error4set(&t.c, 0);
  d4close(d);
}
