// The messages whose download timed out, remembered across retrieval runs,
// so that a slow message, which stays first on the server, neither takes
// every run's time again nor holds the mailbox for good.
//
// Each entry names a message and how many runs skipped it:
//   "u:<UIDL>"            when the server answers UIDL
//   "n:<number>:<size>"   else its number and its size from LIST
// The file (one "count<TAB>key" line per entry, at most kMaxEntries) lives
// in the gateway directory; a missing or unreadable one remembers nothing.
// One thread (the retrieval run).
#pragma once

#include <map>
#include <string>
#include <vector>

class SlowMessages {
 public:
  // A message skipped in this many runs is given up on: stored as
  // Rejected with what arrived, and deleted.
  static constexpr int kGiveUpAfter = 3;
  static constexpr size_t kMaxEntries = 1000;

  explicit SlowMessages(std::string path);

  static std::string keyOf(const std::string& uid, int number, int size);

  // Whether message number (uid, empty when the server has no UIDL) was
  // skipped before; without a UIDL any remembered size counts.
  bool remembered(const std::string& uid, int number) const;
  // The numbers (1 to count) of the messages skipped before, in order:
  // from uids (number to UIDL) when the server has UIDL, else from the
  // numbers remembered. Bounded by the entries, not by count.
  std::vector<int> rememberedNumbers(const std::map<int, std::string>& uids, int count) const;
  // One more run skipped the message; the runs that skipped it so far.
  int skipped(const std::string& key);
  // The message was taken in (one given up on stays until it is gone).
  void forget(const std::string& key);
  // Keeps only the entries of messages still on the server: uids lists
  // every message's UIDL (empty without UIDL; then only numbers past count
  // go, and with UIDL every number entry goes).
  void keepPresent(const std::map<int, std::string>& uids, int count);

  // Writes the file when an entry changed; false with reason on failure.
  bool save(std::string& reason);

 private:
  std::string path_;
  std::map<std::string, int> counts_;
  bool changed_ = false;
};
