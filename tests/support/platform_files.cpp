// Linked into every test binary: common's files (settings, diagnostics,
// message files) go through the platform's file system, as orvserv's
// main() sets up, so a FaultFileSystem installed by a test reaches them.
#include "platform/common_files.h"

namespace {

const bool installed = (installPlatformFileAccess(), true);

}  // namespace
