#include "platform/terminal.h"

#include <string>

#include "platform/secret_input.h"

int TerminalInteraction::askSomeone(int first, int second) {
  if (!isTerminal(in_)) return -1;
  for (int tries = 0; tries < 5; ++tries) {
    std::fprintf(out_, "[%s/%s] ", answerName(first), answerName(second));
    std::fflush(out_);
    char buffer[64];
    if (!std::fgets(buffer, sizeof buffer, in_)) return -1;
    std::string reply(buffer);
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r' || reply.back() == ' ')) reply.pop_back();
    for (char& c : reply)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (int code : {first, second}) {
      std::string name = answerName(code);
      for (char& c : name) c = static_cast<char>(c | 0x20);
      if (!reply.empty() && name.compare(0, reply.size(), reply) == 0) return code;
    }
  }
  return -1;
}

void installTerminalInteraction() {
  static TerminalInteraction terminal;
  setUserInteraction(&terminal);
}
