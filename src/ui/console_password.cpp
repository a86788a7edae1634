#include "ui/console_password.h"

#include <sodium.h>

#include <mutex>

namespace {

constexpr unsigned long long kPasses = 2;
constexpr size_t kMemory = 19u << 20;

bool sodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

std::mutex& checkMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

std::optional<std::string> hashConsolePassword(const std::string& password) {
  if (!sodiumReady()) return std::nullopt;
  char out[crypto_pwhash_STRBYTES];
  std::lock_guard<std::mutex> lock(checkMutex());
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), kPasses, kMemory, crypto_pwhash_ALG_ARGON2ID13) != 0)
    return std::nullopt;
  return std::string(out);
}

bool checkConsolePassword(const std::string& hash, const std::string& password) {
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES || !sodiumReady()) return false;
  if (hash.rfind("$argon2id$", 0) != 0) return false;
  std::lock_guard<std::mutex> lock(checkMutex());
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}
