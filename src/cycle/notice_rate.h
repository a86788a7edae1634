// The number of notices one address gets within an hour.
//
// A robot that answers every notice (or a person who writes a hundred
// enquiries) would otherwise get as many notices back as it sends. Each
// notice sent is remembered with its time, per address (without regard to
// case); an address that had `limit` notices in the last hour gets no more
// until the oldest of them is an hour old. The caller leaves such a notice
// queued, so it goes out with a later run. Times come from the caller
// (the platform clock), so tests move them; what is remembered lives as
// long as the processing cycle.
#pragma once

#include <ctime>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "common/string.h"

class NoticeRate {
 public:
  static constexpr long kDefaultLimit = 20;
  static constexpr std::time_t kWindow = 3600;

  // Setting 312: empty or negative gives the default; 0 means no limit.
  static long limitFromSetting(const stringT& value);

  // Whether address may get one more notice at now (limit 0: always).
  bool allows(const stringT& address, std::time_t now, long limit);
  // A notice went to address at now.
  void sent(const stringT& address, std::time_t now);
  // When the address may get its next notice (now when it may at once).
  std::time_t nextAllowed(const stringT& address, std::time_t now, long limit);

  // Holds are reported once per address and run: startRun forgets which
  // were reported; firstHold is true the first time for address.
  void startRun() { reported_.clear(); }
  bool firstHold(const stringT& address) { return reported_.insert(address.lower().str()).second; }

 private:
  std::deque<std::time_t>& times(const stringT& address, std::time_t now);

  std::map<std::string, std::deque<std::time_t>> sent_;
  std::set<std::string> reported_;
};
