// The platform's implementation of common's file access (common/file_access.h):
// the settings, diagnostic and message files of common go through
// platformFileSystem() (platform/whole_file.h) and platform/directory.h.
#pragma once

// Installs it for the whole process; call first thing in main(). Installing
// again changes nothing.
void installPlatformFileAccess();
