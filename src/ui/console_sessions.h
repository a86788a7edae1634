// SessionStore: the console's login sessions, in memory only (a restart
// logs everybody out).
//
// A session is two random tokens: its id, which travels only in an
// HttpOnly cookie, and its CSRF token, which the page reads from its meta
// element and sends in X-Orvane-Token with every POST. A session ends when
// it is logged out, when it has been idle for idleSeconds, or maxAgeSeconds
// after it began, whichever comes first. At most maxSessions live at once;
// a new one pushes out the least recently used.
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

struct ConsoleSession {
  std::string id;
  std::string csrfToken;
  int64_t began = 0;     // seconds, of the store's clock
  int64_t lastUsed = 0;
};

class SessionStore {
 public:
  struct Limits {
    int64_t idleSeconds = 12 * 3600;
    int64_t maxAgeSeconds = 7 * 24 * 3600;
    size_t maxSessions = 64;
  };
  using Clock = std::function<int64_t()>;  // seconds

  SessionStore();
  SessionStore(Limits limits, Clock clock);

  ConsoleSession create();
  // The live session with this id (its idle time starts again); nothing
  // for an unknown, ended or expired id.
  std::optional<ConsoleSession> find(const std::string& id);
  // True when a live session was ended.
  bool end(const std::string& id);
  // Ends every session (a new login token).
  void endAll();
  size_t size() const;

 private:
  bool expiredLocked(const ConsoleSession& session, int64_t now) const;

  Limits limits_;
  Clock clock_;
  mutable std::mutex mutex_;
  std::map<std::string, ConsoleSession> sessions_;
};
