// The lock offsets are shared with the maintenance program: a changed value
// would let both programs write the same bytes at once. Each one is pinned.
#include "engine/lock_offsets.h"

#include <gtest/gtest.h>

TEST(LockOffsets, ValuesArePinned) {
  EXPECT_EQ(kDataLockLowBase, 0x40000000u);
  EXPECT_EQ(kDataLockHighBase, 0x7FFFFFFEu);
  EXPECT_EQ(kDataFileLockOffset, 0x40000000u);
  EXPECT_EQ(kDataFileLockLength, 0x3FFFFFFFu);
  EXPECT_EQ(kIndexLockOffset, 0x7FFFFFFEu);
  EXPECT_EQ(kMemoLockOffset, 0x40000000u);
  EXPECT_EQ(kLockByteLength, 1u);
}

TEST(LockOffsets, FileLockCoversBothRecordSchemes) {
  EXPECT_EQ(kDataFileLockOffset, kDataLockLowBase);
  EXPECT_EQ(kDataFileLockOffset + kDataFileLockLength - 1, kDataLockHighBase);
}
