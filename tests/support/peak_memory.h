// The process's peak resident size (VmHWM), for tests that bound the memory
// a hostile input may cost. Linux only: elsewhere the peak reads as -1.
#pragma once

#include <fstream>
#include <string>

// Under AddressSanitizer freed blocks wait in a quarantine (256 MB) before
// they are reused, so the resident size grows with all that was allocated,
// not with what is held at once.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// Resets the peak to the present resident size.
inline void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The peak resident size in kB, or -1 where the system does not say.
inline long peakKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}
