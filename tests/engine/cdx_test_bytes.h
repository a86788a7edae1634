// Unchecked byte accessors for tests that read and patch index files by
// hand; the engine itself goes through coding4's bounded codecs.
#pragma once

#include <cstdint>

namespace cdx {

inline uint16_t getLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t getLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t getBE32(const uint8_t* p) {
  return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}
inline void putLE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void putLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
inline void putBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[3 - i] = uint8_t(v >> (8 * i));
}

}  // namespace cdx
