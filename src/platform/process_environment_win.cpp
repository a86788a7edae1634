#include "platform/process_environment.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/win_text.h"

// The wide environment: the narrow one is in the ANSI code page, which
// cannot hold every name.
std::string environmentVariable(const char* name) {
  const wchar_t* value = _wgetenv(wideFromUtf8(name).c_str());
  return value ? utf8FromWide(value) : std::string();
}

long processId() { return static_cast<long>(GetCurrentProcessId()); }

std::string executablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return programPath(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}
