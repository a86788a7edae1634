// Helpers for the engine's data-file tests: a scratch directory, a fake
// clock, whole-file reads and a context set up for tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/code4.h"
#include "engine/data4.h"
#include "platform/clock.h"

class ScratchDir {
 public:
  // A new directory under the system's temporary directory (/tmp on Linux),
  // with a random name as mkdtemp makes them.
  ScratchDir() {
    std::random_device random;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      std::filesystem::path p = base / ("orv-engine-" + std::to_string(random() % 1000000000u));
      if (std::filesystem::create_directory(p)) {
        path_ = p.generic_string();
        break;
      }
    }
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class FakeClock : public Clock {
 public:
  std::time_t now() override { return 1700000000 + ms_ / 1000; }
  int64_t monotonicMs() override { return ms_; }
  void sleepMs(int64_t ms) override {
    ++sleeps;
    slept += ms;
    ms_ += ms;
  }
  int sleeps = 0;
  int64_t slept = 0;

 private:
  int64_t ms_ = 0;
};

// Installs a FakeClock for the lifetime of the object.
class ScopedFakeClock {
 public:
  ScopedFakeClock() { setClock(&clock); }
  ~ScopedFakeClock() { setClock(nullptr); }
  FakeClock clock;
};

inline std::vector<unsigned char> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline long fileSize(const std::string& path) {
  std::error_code error;
  auto size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<long>(size);
}

// A context that records errors without printing them.
struct TestContext {
  CODE4 c;
  TestContext() {
    if (code4init(&c) != 0) std::abort();
    c.errorBoxOff = 1;
  }
};

// The field list most tests use: text, number, date, logical, memo.
inline const FIELD4INFO* basicFields() {
  static const FIELD4INFO fields[] = {
      {"NAME", 'C', 20, 0, 0}, {"AMOUNT", 'N', 10, 2, 0}, {"WHEN", 'D', 8, 0, 0},
      {"FLAG", 'L', 1, 0, 0},  {"NOTES", 'M', 10, 0, 0},  {nullptr, 0, 0, 0, 0}};
  return fields;
}
