#include "mail/reply_line.h"

#include <cstdint>
#include <cstdio>

#include "mail/tcp_line_io.h"

namespace {

bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// A %d number at pos: blanks, sign, digits. Advances pos past it.
bool scanNumber(std::string_view s, size_t& pos, int& value) {
  size_t i = pos;
  while (i < s.size() && space(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  size_t digits = i;
  int64_t v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    v = v * 10 + (s[i] - '0');
    if (v > int64_t(INT32_MAX) + 1) return false;
    ++i;
  }
  if (i == digits) return false;
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  value = static_cast<int>(v);
  pos = i;
  return true;
}

}  // namespace

int readReplyLine(int socket, int seconds, std::string& line) {
  line.clear();
  int total = 0;
  for (;;) {
    int count = 0;
    std::string_view piece = readLine(socket, count, seconds);
    if (line.size() < kMaxReplyLine) line.append(piece.substr(0, kMaxReplyLine - line.size()));
    if (count <= 0) return count < 0 ? count : kReadFailed;
    total += count;
    if (piece.back() == '\n') return total;
    if (static_cast<size_t>(total) >= kMaxReplyLineRead) return kReadFailed;
  }
}

bool positiveReply(std::string_view line) { return line.substr(0, 3) == "+OK"; }

int scanOkNumbers(std::string_view line, int& first, int& second) {
  if (!positiveReply(line)) return 0;
  size_t pos = 3;
  int a = 0, b = 0;
  if (!scanNumber(line, pos, a)) return 0;
  first = a;
  if (!scanNumber(line, pos, b)) return 1;
  second = b;
  return 2;
}

bool scanStatReply(std::string_view line, int& count, int& size) {
  if (!positiveReply(line)) return false;
  size_t pos = 3;
  int64_t numbers[2] = {0, 0};
  for (int64_t& number : numbers) {
    const size_t blanks = pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const size_t digits = pos;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
      number = number * 10 + (line[pos] - '0');
      if (number > INT32_MAX) number = int64_t(INT32_MAX) + 1;
      ++pos;
    }
    if (digits == blanks || pos == digits) return false;  // no blank before it, or no digit
  }
  if (pos < line.size() && !space(line[pos])) return false;
  if (numbers[0] > INT32_MAX) return false;
  count = static_cast<int>(numbers[0]);
  size = static_cast<int>(numbers[1] > INT32_MAX ? INT32_MAX : numbers[1]);
  return true;
}

int scanReplyCode(std::string_view line, int& code, char& next) {
  size_t pos = 0;
  int value = 0;
  if (!scanNumber(line, pos, value)) return 0;
  code = value;
  if (pos >= line.size()) return 1;
  next = line[pos];
  return 2;
}

std::string printableReply(std::string_view reply) {
  std::string out;
  out.reserve(reply.size());
  for (size_t i = 0; i < reply.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(reply[i]);
    if (c == '\r' && i + 1 < reply.size() && reply[i + 1] == '\n') {
      out += "\r\n";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string withoutSecrets(std::string_view reply, const std::vector<std::string>& secrets) {
  std::string out(reply);
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    const size_t least = secret.size() < kMinSecretEcho ? secret.size() : kMinSecretEcho;
    const std::string_view start = std::string_view(secret).substr(0, least);
    for (size_t at = out.find(start); at != std::string::npos; at = out.find(start, at)) {
      size_t length = least;
      while (length < secret.size() && at + length < out.size() && out[at + length] == secret[length]) ++length;
      out.replace(at, length, "[hidden]");
      at += 8;
    }
  }
  return out;
}
