#include "platform/secret_input.h"

#include <termios.h>
#include <unistd.h>

namespace {

bool readLine(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == EOF && line.empty()) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

bool isTerminal(std::FILE* in) { return in && ::isatty(::fileno(in)) == 1; }

bool readSecretLine(std::FILE* in, std::FILE* out, const std::string& prompt, std::string& line) {
  if (!isTerminal(in)) return readLine(in, line);
  int fd = ::fileno(in);
  termios saved{};
  bool restore = ::tcgetattr(fd, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::fputs(prompt.c_str(), out);
  std::fflush(out);
  bool ok = readLine(in, line);
  if (restore) ::tcsetattr(fd, TCSAFLUSH, &saved);
  return ok;
}
