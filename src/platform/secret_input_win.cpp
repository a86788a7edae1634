#include "platform/secret_input.h"

#include <io.h>
#include <windows.h>

#include "platform/win_text.h"

namespace {

bool readLine(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == EOF && line.empty()) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// One line from the console with echo off, read as UTF-16 so that every
// character the user types arrives (the narrow console is in the OEM code
// page), returned in UTF-8.
bool readConsoleLine(HANDLE console, std::string& line) {
  std::wstring wide;
  for (;;) {
    wchar_t c;
    DWORD got = 0;
    if (!ReadConsoleW(console, &c, 1, &got, nullptr) || got == 0) {
      if (wide.empty()) return false;
      break;
    }
    if (c == L'\n') break;
    if (c != L'\r') wide += c;
  }
  line = utf8FromWide(wide);
  return true;
}

}  // namespace

bool isTerminal(std::FILE* in) { return in && _isatty(_fileno(in)) != 0; }

bool readSecretLine(std::FILE* in, std::FILE* out, const std::string& prompt, std::string& line) {
  if (!isTerminal(in)) return readLine(in, line);
  HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
  DWORD saved = 0;
  if (!GetConsoleMode(console, &saved)) return readLine(in, line);  // a character device, not a console
  SetConsoleMode(console, (saved & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
  std::fputs(prompt.c_str(), out);
  std::fflush(out);
  bool ok = readConsoleLine(console, line);
  SetConsoleMode(console, saved);
  std::fputs("\n", out);  // the user's Enter was not echoed
  std::fflush(out);
  return ok;
}
