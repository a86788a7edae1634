// LoginThrottle: slows down password guessing at the console's login
// without holding any request: an attempt that comes too soon is refused
// at once, before the password is checked, with the seconds to wait.
//
//   per client address   kFreeFailures failures are free; after that each
//                        failure makes the client wait 1, 2, 4, ... up to
//                        kMaxDelaySeconds before its next attempt; a
//                        success forgets the client, and so do
//                        kForgetSeconds without a failure
//   overall              when more than kFailuresPerMinute failures came
//                        in the last minute from all clients together,
//                        a client with failures of its own waits for the
//                        minute to pass; a client without any is never
//                        held, so guesses from elsewhere cannot lock the
//                        operator out
//
// Only password guesses go through it: the login token's 256 bits need no
// throttle, and a wrong token must not slow anybody's password down.
//
// The per-client table holds at most kMaxClients entries (the oldest
// forgotten first), so spoofed sources cannot grow it.
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

class LoginThrottle {
 public:
  static constexpr int kFreeFailures = 3;
  static constexpr int64_t kMaxDelaySeconds = 60;
  static constexpr size_t kFailuresPerMinute = 20;
  static constexpr int64_t kForgetSeconds = 15 * 60;
  static constexpr size_t kMaxClients = 1024;

  // 0 when client may try now; otherwise the seconds it must wait.
  int64_t waitBefore(const std::string& client, int64_t now);
  void failed(const std::string& client, int64_t now);
  void succeeded(const std::string& client);

 private:
  struct Client {
    int failures = 0;
    int64_t notBefore = 0;
    int64_t lastFailure = 0;
  };
  std::mutex mutex_;
  std::map<std::string, Client> clients_;
  std::deque<int64_t> recentFailures_;  // times of the failures of the last minute
};
