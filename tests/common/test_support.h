// Helpers shared by the common tests: a scratch directory and a scripted
// user-interaction backend that records what would have been shown.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/user_interaction.h"

class ScratchDir {
 public:
  // A new directory with a random name, as mkdtemp makes them.
  ScratchDir() {
    std::random_device random;
    for (;;) {
      auto p = std::filesystem::temp_directory_path() / ("orvtest." + std::to_string(random() % 1000000000u));
      if (std::filesystem::create_directory(p)) {
        path_ = p.generic_string();
        break;
      }
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct ShownBox {
  MessageIcon icon;
  std::string caption;
  std::string text;
};

// Records every box; answers questions from a queue (safe answer when empty).
class ScriptedInteraction : public UserInteraction {
 public:
  ScriptedInteraction() { setUserInteraction(this); }
  ~ScriptedInteraction() override { setUserInteraction(nullptr); }
  void messageBox(MessageIcon icon, const stringT& caption, const stringT& text) override {
    boxes.push_back({icon, caption.str(), text.str()});
  }
  int ask(const stringT& caption, const stringT& text, int first, int second) override {
    boxes.push_back({MessageIcon::Question, caption.str(), text.str()});
    asked.push_back({first, second});
    if (answers.empty()) return safeAnswer(first, second);
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  std::vector<ShownBox> boxes;
  std::vector<std::pair<int, int>> asked;
  std::vector<int> answers;
};
