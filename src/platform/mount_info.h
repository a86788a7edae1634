// What kind of mount a file lives on, for the locking rules of a Windows
// share reached through the kernel's SMB client.
//
// On such a mount an flock() travels to the server as a whole-file
// byte-range lock, which Windows enforces as mandatory: a share-mode
// emulation with flock would keep the maintenance program from writing its
// own tables. Byte-range locks are what that program honours, so on SMB
// the share-mode locks are not taken. A mount with "nobrl" keeps byte-range
// locks on the client, so writers on other machines never see them: the
// database must not be written there. "cache=loose" lets the client serve
// stale pages of a file another machine changed.
//
// The probe (statfs magic number, then the mount's options from
// /proc/self/mountinfo, the longest mount point that contains the path) is
// replaceable, since no SMB mount exists where the tests run.
//
// On Windows the probe (mount_probe_win.cpp) takes a UNC path or a drive
// that GetDriveTypeW calls remote for a share; LockFileEx locks reach the
// server there by design, so nobrl and cache=loose never apply.
//
// Thread-safety: the real probe has no state; setMountProbe is for tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct MountInfo {
  bool smb = false;               // CIFS, SMB 2/3 or SMB 1 client mount
  bool noByteRangeLocks = false;  // option nobrl
  bool looseCache = false;        // option cache=loose
  std::string mountPoint;         // empty when unknown
  std::string fsType;             // from mountinfo; empty when unknown
  std::string options;            // mount and file-system options, comma-joined
};

// One line of /proc/self/mountinfo, octal escapes (\040 and the like)
// decoded.
struct MountEntry {
  std::string mountPoint;
  std::string fsType;
  std::string source;
  std::string options;  // per-mount options, then the file system's own
};

std::vector<MountEntry> parseMountInfo(std::string_view text);
// The entry whose mount point is the longest that contains path (an
// absolute, normalised path); null when none does.
const MountEntry* mountFor(const std::vector<MountEntry>& entries, const std::string& path);
// Whether a statfs f_type is one of the SMB clients' magic numbers.
bool isSmbMagic(unsigned long fsType);
// The flags of MountInfo read from an options list.
void applyMountOptions(const std::string& options, MountInfo* info);

class MountProbe {
 public:
  virtual ~MountProbe() = default;
  // The mount that holds path (an existing file or directory).
  virtual MountInfo probe(const std::string& path) = 0;
};

// The mount of path through the installed probe.
MountInfo mountInfo(const std::string& path);
// Installs probe (not owned); nullptr restores the real one.
void setMountProbe(MountProbe* probe);
