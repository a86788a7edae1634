#include "ui/console_sessions.h"

#include <sodium.h>

#include <chrono>

#include "ui/console_security.h"

namespace {

int64_t steadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The map is keyed by a hash of the id, so the time a lookup takes says
// nothing about how much of a guessed id is right.
std::string keyOf(const std::string& id) {
  unsigned char hash[32];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(id.data()), id.size(), nullptr, 0);
  return std::string(reinterpret_cast<const char*>(hash), sizeof hash);
}

}  // namespace

SessionStore::SessionStore() : SessionStore(Limits{}, &steadySeconds) {}

SessionStore::SessionStore(Limits limits, Clock clock) : limits_(limits), clock_(std::move(clock)) {}

bool SessionStore::expiredLocked(const ConsoleSession& session, int64_t now) const {
  return now - session.lastUsed >= limits_.idleSeconds || now - session.began >= limits_.maxAgeSeconds;
}

ConsoleSession SessionStore::create() {
  ConsoleSession session;
  session.id = makeProcessToken();
  session.csrfToken = makeProcessToken();
  std::lock_guard<std::mutex> lock(mutex_);
  int64_t now = clock_();
  session.began = session.lastUsed = now;
  for (auto it = sessions_.begin(); it != sessions_.end();)
    it = expiredLocked(it->second, now) ? sessions_.erase(it) : std::next(it);
  while (!sessions_.empty() && sessions_.size() >= limits_.maxSessions) {
    auto oldest = sessions_.begin();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
      if (it->second.lastUsed < oldest->second.lastUsed) oldest = it;
    sessions_.erase(oldest);
  }
  sessions_[keyOf(session.id)] = session;
  return session;
}

std::optional<ConsoleSession> SessionStore::find(const std::string& id) {
  if (id.empty()) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sessions_.find(keyOf(id));
  if (it == sessions_.end()) return std::nullopt;
  int64_t now = clock_();
  if (expiredLocked(it->second, now)) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.lastUsed = now;
  return it->second;
}

bool SessionStore::end(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_.erase(keyOf(id)) > 0;
}

void SessionStore::endAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.clear();
}

size_t SessionStore::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_.size();
}
