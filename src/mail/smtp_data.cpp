#include "mail/smtp_data.h"

namespace {

void emit(std::string& out, std::string_view prefix, std::string_view piece) {
  if (prefix.empty() && !piece.empty() && piece[0] == '.') out += '.';  // dot-stuffing
  out.append(prefix);
  out.append(piece);
  out += "\r\n";
}

// One line without its line end, sent as one or more lines of at most
// kMaxSmtpLine octets.
void appendLine(std::string& out, std::string_view line, bool header) {
  if (!header) {
    for (; line.size() > kMaxSmtpLine; line.remove_prefix(kMaxSmtpLine)) emit(out, {}, line.substr(0, kMaxSmtpLine));
    emit(out, {}, line);
    return;
  }
  std::string_view prefix;  // " " on a continuation made without a blank of the text
  for (;;) {
    size_t room = kMaxSmtpLine - prefix.size();
    if (line.size() <= room) return emit(out, prefix, line);
    // Fold before the last blank that keeps this line within the limit;
    // the next line then starts with that blank, as a fold must.
    size_t blank = line.find_last_of(" \t", room);
    if (blank != std::string_view::npos && blank > 0) {
      emit(out, prefix, line.substr(0, blank));
      line.remove_prefix(blank);
      prefix = {};
    } else {
      emit(out, prefix, line.substr(0, room));
      line.remove_prefix(room);
      prefix = " ";
    }
  }
}

}  // namespace

std::string smtpDataBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 64 + 8);
  bool header = true;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (end == std::string_view::npos) {
      start = text.size();
    } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      start = end + 2;
    } else {
      start = end + 1;  // a bare CR or LF ends the line all the same
    }
    if (line.empty()) header = false;
    appendLine(out, line, header);
  }
  if (text.empty()) out += "\r\n";
  out += ".\r\n";
  return out;
}
