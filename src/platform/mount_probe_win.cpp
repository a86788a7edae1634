// The real mount probe on Windows: a UNC path (\\server\share\...) or a
// drive letter that GetDriveTypeW calls remote is a network share. The
// byte-range locks of LockFileEx go to the server there by design, so
// Windows has neither nobrl nor a loose cache to warn about; the service
// account needs read and write (modify) rights on the share and on its
// folder, and a mapped drive letter is only seen by the account that
// mapped it, so a service must be given the UNC path.
#include <windows.h>

#include <vector>

#include "platform/mount_info.h"
#include "platform/win_text.h"

namespace {

class RealMountProbe : public MountProbe {
 public:
  MountInfo probe(const std::string& path) override {
    MountInfo info;
    std::wstring wide = systemPath(path);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return info;
    std::wstring full(n, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), n, full.data(), nullptr));
    std::vector<wchar_t> root(full.size() + 2);
    if (!GetVolumePathNameW(full.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
      // A share that cannot be reached still names itself a share.
      if (full.rfind(L"\\\\", 0) == 0) info.smb = true;
      return info;
    }
    std::wstring volume = root.data();
    info.smb = volume.rfind(L"\\\\", 0) == 0 || GetDriveTypeW(volume.c_str()) == DRIVE_REMOTE;
    if (!info.smb) return info;
    info.mountPoint = programPath(volume);
    wchar_t fsName[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(volume.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fsName, MAX_PATH + 1))
      info.fsType = programPath(fsName);
    return info;
  }
};

RealMountProbe realProbe;
MountProbe* currentProbe = &realProbe;

}  // namespace

MountInfo mountInfo(const std::string& path) { return currentProbe->probe(path); }

void setMountProbe(MountProbe* probe) { currentProbe = probe != nullptr ? probe : &realProbe; }
