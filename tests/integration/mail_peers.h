// Access to the local Dovecot and aiosmtpd started by scripts/peers.sh.
// Without them (ORV_POP3_PORT unset) the tests are skipped, or fail when CI
// is set, since CI must run them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline std::string peerEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

#define ORV_REQUIRE_PEERS()                                                                   \
  do {                                                                                        \
    if (peerEnv("ORV_POP3_PORT").empty()) {                                                   \
      if (!peerEnv("CI").empty()) FAIL() << "the mail peers are not running (scripts/peers.sh)"; \
      GTEST_SKIP() << "mail peers not running; eval \"$(scripts/peers.sh start)\" first";     \
    }                                                                                         \
  } while (0)

// The mailbox of the POP3 user: emptied before each test, filled the way a
// delivery agent does (write in tmp/, rename into new/).
class TestMaildir {
 public:
  TestMaildir() : dir_(peerEnv("ORV_MAILDIR")), uid_(std::atoi(peerEnv("ORV_MAILDIR_UID").c_str())) {}
  TestMaildir(std::string dir, int uid) : dir_(std::move(dir)), uid_(uid) {}

  void empty() const {
    for (const char* sub : {"new", "cur", "tmp"})
      for (const auto& e : std::filesystem::directory_iterator(dir_ + "/" + sub)) std::filesystem::remove(e.path());
  }

  void drop(const std::string& bytes) {
    std::string name = std::to_string(::getpid()) + "." + std::to_string(++count_) + ".orvtest";
    std::string tmp = dir_ + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << bytes;
    if (::chown(tmp.c_str(), uid_, uid_) != 0) { /* readable anyway: mode 0644 */ }
    std::filesystem::rename(tmp, dir_ + "/new/" + name);
  }

  size_t messageFiles() const {
    size_t n = 0;
    for (const char* sub : {"new", "cur"})
      for (const auto& e : std::filesystem::directory_iterator(dir_ + "/" + sub)) n += e.is_regular_file();
    return n;
  }

  // Messages no POP3 session has seen yet (Dovecot moves a message from
  // new/ to cur/ when a session opens the mailbox).
  size_t unseenMessageFiles() const {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/new")) n += e.is_regular_file();
    return n;
  }

 private:
  std::string dir_;
  int uid_;
  int count_ = 0;
};
