// The one map from system errors to engine codes, used for the engine's own
// files and by the database layer for its directory.
#include <gtest/gtest.h>

#include <cerrno>

#include "engine/error4.h"
#include "engine/file4.h"

TEST(File4SystemErrorCode, NotFoundAndBadNames) {
  for (int err : {ENOENT, ENOTDIR, ENAMETOOLONG, EISDIR, ELOOP, ENXIO, ENODEV})
    EXPECT_EQ(file4systemErrorCode(err), e4fileFind) << "errno " << err;
}

TEST(File4SystemErrorCode, TooManyOpenFiles) {
  EXPECT_EQ(file4systemErrorCode(EMFILE), e4numFiles);
  EXPECT_EQ(file4systemErrorCode(ENFILE), e4numFiles);
}

TEST(File4SystemErrorCode, PermissionSharingAndReadOnly) {
  for (int err : {EACCES, EPERM, EWOULDBLOCK, EROFS, ETXTBSY})
    EXPECT_EQ(file4systemErrorCode(err), e4permiss) << "errno " << err;
}

// An exhausted quota is the same failure as a full disk: a write failure,
// not a generic open error.
TEST(File4SystemErrorCode, FullDiskAndQuotaAreWriteFailures) {
  EXPECT_EQ(file4systemErrorCode(ENOSPC), e4write);
#ifdef EDQUOT
  EXPECT_EQ(file4systemErrorCode(EDQUOT), e4write);
#endif
}

TEST(File4SystemErrorCode, AnythingElseIsAnOpenError) {
  for (int err : {EIO, EINVAL, EEXIST, 0, 99999})
    EXPECT_EQ(file4systemErrorCode(err), e4open) << "errno " << err;
}
