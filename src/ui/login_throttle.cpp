#include "ui/login_throttle.h"

#include <algorithm>

int64_t LoginThrottle::waitBefore(const std::string& client, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  while (!recentFailures_.empty() && now - recentFailures_.front() >= 60) recentFailures_.pop_front();
  auto it = clients_.find(client);
  if (it == clients_.end()) return 0;
  if (now - it->second.lastFailure >= kForgetSeconds) {
    clients_.erase(it);
    return 0;
  }
  int64_t wait = it->second.notBefore - now;
  if (recentFailures_.size() >= kFailuresPerMinute) wait = std::max(wait, recentFailures_.front() + 60 - now);
  return std::max<int64_t>(wait, 0);
}

void LoginThrottle::failed(const std::string& client, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  recentFailures_.push_back(now);
  // The count above the cap only lengthens nobody's wait; keep the deque
  // bounded however fast the failures come.
  while (recentFailures_.size() > kFailuresPerMinute) recentFailures_.pop_front();
  if (clients_.size() >= kMaxClients && !clients_.count(client)) {
    auto oldest = std::min_element(clients_.begin(), clients_.end(), [](const auto& a, const auto& b) {
      return a.second.lastFailure < b.second.lastFailure;
    });
    clients_.erase(oldest);
  }
  Client& c = clients_[client];
  if (c.failures > 0 && now - c.lastFailure >= kForgetSeconds) c = Client{};
  ++c.failures;
  c.lastFailure = now;
  if (c.failures > kFreeFailures) {
    int shift = std::min(c.failures - kFreeFailures - 1, 6);
    c.notBefore = now + std::min<int64_t>(int64_t{1} << shift, kMaxDelaySeconds);
  }
}

void LoginThrottle::succeeded(const std::string& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  clients_.erase(client);
}
