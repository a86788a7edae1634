// Byte codecs over bounded spans: the only way engine code reads or writes
// multi-byte integers in file images. Each call checks that the bytes lie
// inside the span and returns false (reads leave *out unchanged) when they
// do not, so a length or offset taken from disk can never reach past a
// buffer. xBase files mix byte orders; the name says which one is meant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace coding4 {

using Bytes = std::span<const uint8_t>;
using MutableBytes = std::span<uint8_t>;

inline bool fits(size_t size, size_t offset, size_t width) {
  return offset <= size && width <= size - offset;
}

template <typename T>
inline bool getLe(Bytes s, size_t offset, T* out) {
  if (!fits(s.size(), offset, sizeof(T))) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v |= uint64_t(s[offset + i]) << (8 * i);
  *out = static_cast<T>(v);
  return true;
}

template <typename T>
inline bool getBe(Bytes s, size_t offset, T* out) {
  if (!fits(s.size(), offset, sizeof(T))) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v = (v << 8) | s[offset + i];
  *out = static_cast<T>(v);
  return true;
}

template <typename T>
[[nodiscard]] inline bool putLe(MutableBytes s, size_t offset, T value) {
  if (!fits(s.size(), offset, sizeof(T))) return false;
  uint64_t v = static_cast<uint64_t>(value);
  for (size_t i = 0; i < sizeof(T); ++i) s[offset + i] = static_cast<uint8_t>(v >> (8 * i));
  return true;
}

template <typename T>
[[nodiscard]] inline bool putBe(MutableBytes s, size_t offset, T value) {
  if (!fits(s.size(), offset, sizeof(T))) return false;
  uint64_t v = static_cast<uint64_t>(value);
  for (size_t i = 0; i < sizeof(T); ++i)
    s[offset + i] = static_cast<uint8_t>(v >> (8 * (sizeof(T) - 1 - i)));
  return true;
}

// A little-endian field of width bytes (at most 8), such as a packed
// index entry whose width is read from the file.
inline bool getLeWidth(Bytes s, size_t offset, size_t width, uint64_t* out) {
  if (width > 8 || !fits(s.size(), offset, width)) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint64_t(s[offset + i]) << (8 * i);
  *out = v;
  return true;
}

[[nodiscard]] inline bool putLeWidth(MutableBytes s, size_t offset, size_t width, uint64_t value) {
  if (width > 8 || !fits(s.size(), offset, width)) return false;
  for (size_t i = 0; i < width; ++i) s[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  return true;
}

// Views a char buffer as bytes.
inline Bytes bytes(const char* p, size_t n) { return {reinterpret_cast<const uint8_t*>(p), n}; }
inline MutableBytes bytes(char* p, size_t n) { return {reinterpret_cast<uint8_t*>(p), n}; }

}  // namespace coding4
