// Helpers shared by the database-layer tests: scratch directories with
// copies of the fixture databases, a recording user-interaction backend, a
// clock that does not wait, and small table readers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/user_interaction.h"
#include "platform/clock.h"

namespace dbtest {

namespace fs = std::filesystem;

inline std::string fixtureTables() { return std::string(ORV_TEST_DATA) + "/fixtures/tables"; }

class Scratch {
 public:
  // inMemory: under /dev/shm when there is one, for tests that write a lot
  // (every flush reaches the disk otherwise).
  explicit Scratch(bool inMemory = false) {
    std::error_code ec;
    fs::path base = inMemory && fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string templ = (base / "orvdb.XXXXXX").string();
    path_ = mkdtemp(templ.data());
  }
  ~Scratch() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Copies fixtures/tables/<name> (a directory) to <scratch>/<as> and
  // returns its path.
  std::string copyFixture(const std::string& name, const std::string& as = "") const {
    std::string to = file(as.empty() ? name : as);
    fs::copy(fixtureTables() + "/" + name, to, fs::copy_options::recursive);
    return to;
  }

 private:
  std::string path_;
};

// Records message boxes; answers questions from a queue (the safe answer
// when it is empty).
class RecordingInteraction : public UserInteraction {
 public:
  RecordingInteraction() : previous_(&userInteraction()) { setUserInteraction(this); }
  ~RecordingInteraction() override { setUserInteraction(previous_); }
  void messageBox(MessageIcon, const stringT&, const stringT& text) override { texts.push_back(text.str()); }
  int ask(const stringT&, const stringT& text, int first, int second) override {
    questions.push_back(text.str());
    if (answers.empty()) return safeAnswer(first, second);
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  bool saw(const std::string& part) const {
    for (const auto& t : texts)
      if (t.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> texts;
  std::vector<std::string> questions;
  std::vector<int> answers;

 private:
  UserInteraction* previous_;
};

class NoWaitClock : public Clock {
 public:
  NoWaitClock() { setClock(this); }
  ~NoWaitClock() override { setClock(nullptr); }
  std::time_t now() override { return 1700000000 + ms_ / 1000; }
  int64_t monotonicMs() override { return ms_; }
  void sleepMs(int64_t ms) override {
    ++sleeps;
    ms_ += ms;
  }
  int sleeps = 0;

 private:
  int64_t ms_ = 0;
};

}  // namespace dbtest
