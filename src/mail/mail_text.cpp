#include "mail/mail_text.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/string_mapper.h"

namespace {

// The conversions of a printf format, flags and widths dropped: "%-5ld %s"
// gives "ld s ". "%%" is not a conversion.
std::string conversions(std::string_view format) {
  std::string out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    ++i;
    if (i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::string_view("-+ #0123456789.*").find(format[i]) != std::string_view::npos) {
      if (format[i] == '*') out += '*';
      ++i;
    }
    while (i < format.size() && std::string_view("hlLqjzt").find(format[i]) != std::string_view::npos) out += format[i++];
    if (i < format.size()) out += format[i];
    out += ' ';
  }
  return out;
}

}  // namespace

stringT formatMarked(const char* marked, ...) {
  stringT translated = translate(stringT(marked));
  std::string format = translated.str();
  if (format.find('\0') != std::string::npos || conversions(format) != conversions(marked))
    format = unmarked(stringT(marked)).str();

  va_list args;
  va_start(args, marked);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format.c_str(), copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(out.data(), out.size(), format.c_str(), args);
    out.resize(static_cast<size_t>(needed));
  }
  va_end(args);
  return stringT(std::move(out));
}

bool hasLineBreakOrNul(const stringT& text) {
  return text.view().find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}
