#include "common/user_interaction.h"

#include <cstdio>

namespace {

class TerminalInteraction : public UserInteraction {
 public:
  void messageBox(MessageIcon, const stringT& caption, const stringT& text) override {
    std::string line;
    if (!caption.empty()) line = caption.str() + ": ";
    line += text.replaceAll("\r\n", " : ").str();
    std::fprintf(stderr, "%s\n", line.c_str());
  }
};

TerminalInteraction terminalBackend;
UserInteraction* current = &terminalBackend;

}  // namespace

UserInteraction& userInteraction() { return *current; }

void setUserInteraction(UserInteraction* backend) { current = backend ? backend : &terminalBackend; }
