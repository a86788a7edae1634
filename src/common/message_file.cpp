#include "common/message_file.h"

#include "common/string_mapper.h"

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string unescapeMessageText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    char c = text[++i];
    if (c == 'x' && i + 1 < text.size() && hexDigit(text[i + 1]) >= 0) {
      unsigned value = 0;
      while (i + 1 < text.size() && hexDigit(text[i + 1]) >= 0) value = (value * 16 + hexDigit(text[++i])) & 0xFF;
      out.push_back(static_cast<char>(value));
    } else if (c >= '0' && c <= '7') {
      unsigned value = static_cast<unsigned>(c - '0');
      for (int n = 1; n < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7'; ++n)
        value = value * 8 + static_cast<unsigned>(text[++i] - '0');
      out.push_back(static_cast<char>(value & 0xFF));
    } else if (c == 'r') {
      out.push_back('\r');
    } else if (c == 'n') {
      out.push_back('\n');
    } else if (c == 't') {
      out.push_back('\t');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

MessageFileReader::MessageFileReader(std::string_view marker, char separator, char terminator, bool raw,
                                     Sink sink)
    : marker_(marker), separator_(separator), terminator_(terminator), raw_(raw), sink_(std::move(sink)) {
  line_.reserve(StringMapper::kMaxLineLength);
}

void MessageFileReader::feed(std::string_view bytes) {
  for (char c : bytes) {
    if (pendingCr_) {
      pendingCr_ = false;
      if (c != terminator_) push('\r');
    }
    if (c == '\r' && terminator_ == '\n') {
      pendingCr_ = true;
    } else if (c == terminator_) {
      endLine(true);
    } else {
      push(c);
    }
  }
}

void MessageFileReader::push(char c) {
  line_.push_back(c);
  // A line is at most kMaxLineLength bytes with its terminator: a piece
  // that fills the buffer without one ends there, unterminated.
  if (line_.size() == StringMapper::kMaxLineLength) endLine(false);
}

void MessageFileReader::finish() {
  pendingCr_ = false;
  line_.clear();
}

void MessageFileReader::endLine(bool hasTerminator) {
  if (hasTerminator) parseLine(line_);
  line_.clear();
}

void MessageFileReader::parseLine(std::string_view line) const {
  size_t at = line.find(marker_);
  if (at == std::string_view::npos || marker_.empty()) return;
  std::string_view rest = line.substr(at + marker_.size());
  std::string_view key, text;
  if (!rest.empty() && rest[0] == '"') {
    const char closing[2] = {'"', separator_};
    size_t end = rest.find(std::string_view(closing, 2), 1);
    if (end == std::string_view::npos) return;
    key = rest.substr(1, end - 1);
    rest = rest.substr(end + 2);
  } else {
    size_t end = rest.find(separator_);
    if (end == std::string_view::npos) return;
    key = rest.substr(0, end);
    rest = rest.substr(end + 1);
  }
  text = rest;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  if (key.empty() || text.empty()) return;
  if (raw_) {
    sink_(std::string(key), std::string(text));
  } else {
    sink_(unescapeMessageText(key), unescapeMessageText(text));
  }
}
