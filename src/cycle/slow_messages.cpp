#include "cycle/slow_messages.h"

#include <cstdlib>
#include <set>

#include "platform/whole_file.h"

namespace {

constexpr size_t kMaxFileBytes = 256 * 1024;

}  // namespace

SlowMessages::SlowMessages(std::string path) : path_(std::move(path)) {
  std::string text;
  if (readWholeFile(path_, kMaxFileBytes, text) != ReadFileResult::Ok) return;
  size_t start = 0;
  while (start < text.size() && counts_.size() < kMaxEntries) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    int count = std::atoi(line.substr(0, tab).c_str());
    std::string key = line.substr(tab + 1);
    if (count > 0 && (key.rfind("u:", 0) == 0 || key.rfind("n:", 0) == 0)) counts_[key] = count;
  }
}

std::string SlowMessages::keyOf(const std::string& uid, int number, int size) {
  if (!uid.empty()) return "u:" + uid;
  return "n:" + std::to_string(number) + ":" + std::to_string(size);
}

bool SlowMessages::remembered(const std::string& uid, int number) const {
  if (!uid.empty()) return counts_.count("u:" + uid) > 0;
  std::string prefix = "n:" + std::to_string(number) + ":";
  auto it = counts_.lower_bound(prefix);
  return it != counts_.end() && it->first.rfind(prefix, 0) == 0;
}

int SlowMessages::skipped(const std::string& key) {
  if (key.rfind("n:", 0) == 0) {
    // Another size at the same number is another message.
    std::string prefix = key.substr(0, key.rfind(':') + 1);
    for (auto it = counts_.lower_bound(prefix); it != counts_.end() && it->first.rfind(prefix, 0) == 0;)
      it = it->first == key ? std::next(it) : counts_.erase(it);
  }
  changed_ = true;
  if (!counts_.count(key) && counts_.size() >= kMaxEntries) return 1;
  return ++counts_[key];
}

void SlowMessages::forget(const std::string& key) {
  if (key.rfind("n:", 0) != 0) {
    if (counts_.erase(key) > 0) changed_ = true;
    return;
  }
  // Without UIDL the number is all that is sure: any size there goes.
  std::string prefix = key.substr(0, key.rfind(':') + 1);
  for (auto it = counts_.lower_bound(prefix); it != counts_.end() && it->first.rfind(prefix, 0) == 0;) {
    it = counts_.erase(it);
    changed_ = true;
  }
}

std::vector<int> SlowMessages::rememberedNumbers(const std::map<int, std::string>& uids, int count) const {
  std::set<int> numbers;
  if (!uids.empty()) {
    for (const auto& [number, uid] : uids)
      if (number <= count && counts_.count("u:" + uid)) numbers.insert(number);
  } else {
    for (const auto& [key, runs] : counts_) {
      if (key.rfind("n:", 0) != 0) continue;
      int number = std::atoi(key.c_str() + 2);
      if (number >= 1 && number <= count) numbers.insert(number);
    }
  }
  return std::vector<int>(numbers.begin(), numbers.end());
}

void SlowMessages::keepPresent(const std::map<int, std::string>& uids, int count) {
  std::set<std::string> present;
  for (const auto& [number, uid] : uids) present.insert("u:" + uid);
  for (auto it = counts_.begin(); it != counts_.end();) {
    bool gone = it->first.rfind("u:", 0) == 0 ? !uids.empty() && !present.count(it->first)
                                               : !uids.empty() || std::atoi(it->first.c_str() + 2) > count;
    if (gone) {
      it = counts_.erase(it);
      changed_ = true;
    } else {
      ++it;
    }
  }
}

bool SlowMessages::save(std::string& reason) {
  if (!changed_) return true;
  std::string text;
  for (const auto& [key, count] : counts_) text += std::to_string(count) + "\t" + key + "\n";
  if (!replaceFile(path_, text, 0600, reason)) return false;
  changed_ = false;
  return true;
}
