#include "cycle/notice_rate.h"

#include "common/field_map.h"

long NoticeRate::limitFromSetting(const stringT& value) {
  if (value.trim().empty()) return kDefaultLimit;
  long limit = decimalValue(value);
  return limit < 0 ? kDefaultLimit : limit;
}

std::deque<std::time_t>& NoticeRate::times(const stringT& address, std::time_t now) {
  std::deque<std::time_t>& t = sent_[address.lower().str()];
  while (!t.empty() && now - t.front() >= kWindow) t.pop_front();
  return t;
}

bool NoticeRate::allows(const stringT& address, std::time_t now, long limit) {
  if (limit <= 0) return true;
  return static_cast<long>(times(address, now).size()) < limit;
}

void NoticeRate::sent(const stringT& address, std::time_t now) {
  std::deque<std::time_t>& t = times(address, now);
  t.push_back(now);
  // Only the last hour counts; keep no more than a limit could ask for.
  while (t.size() > 10000) t.pop_front();
}

std::time_t NoticeRate::nextAllowed(const stringT& address, std::time_t now, long limit) {
  if (allows(address, now, limit)) return now;
  const std::deque<std::time_t>& t = times(address, now);
  return t[t.size() - static_cast<size_t>(limit)] + kWindow;
}
