#include "ui/console_security.h"

#include <sodium.h>

#include "platform/directory.h"
#include "platform/whole_file.h"
#include "platform/inet.h"

namespace {

std::string_view hostPart(std::string_view host) {
  if (!host.empty() && host.front() == '[') {
    size_t close = host.find(']');
    return close == std::string_view::npos ? host : host.substr(1, close - 1);
  }
  size_t colon = host.find(':');
  if (colon != std::string_view::npos && host.find(':', colon + 1) == std::string_view::npos)
    return host.substr(0, colon);
  return host;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool isLoopbackAddress(std::string_view address) {
  std::string text(address);
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

bool hostAllowed(std::string_view hostHeader, std::string_view listenAddress) {
  std::string_view host = hostPart(hostHeader);
  if (host.empty()) return false;
  if (equalsIgnoreCase(host, "localhost")) return true;
  if (isLoopbackAddress(host)) return true;
  return equalsIgnoreCase(host, hostPart(listenAddress));
}

std::string makeProcessToken() {
  unsigned char bytes[32];
  // libsodium reads the system's random source (getrandom, /dev/urandom)
  // and aborts rather than hand out predictable bytes.
  [[maybe_unused]] static const bool ready = sodium_init() >= 0;
  randombytes_buf(bytes, sizeof bytes);
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += digits[b >> 4];
    token += digits[b & 15];
  }
  return token;
}

bool usableLoginToken(std::string_view token) {
  if (token.size() < kMinLoginTokenLength) return false;
  for (char c : token)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  return true;
}

std::string readLoginToken(const std::string& path) {
  std::string text;
  if (readWholeFile(path, 4096, text) != ReadFileResult::Ok) return std::string();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return usableLoginToken(text) ? text : std::string();
}

std::optional<std::string> writeNewLoginToken(const std::string& path, std::string* error) {
  std::string token = makeProcessToken();
  std::string reason;
  if (!replaceFile(path, token + "\n", 0600, reason)) {
    *error = "cannot write the console's login token to " + path + ": " + reason;
    return std::nullopt;
  }
  return token;
}

bool tokensEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string htmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<std::string> resolveUnder(const std::string& root, std::string_view relative) {
  if (relative.empty() || relative.front() == '/') return std::nullopt;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string_view::npos) end = relative.size();
    std::string_view segment = relative.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return std::nullopt;
    for (char c : segment)
      if (c == '\\' || c == '\0') return std::nullopt;
    start = end + 1;
  }
  std::string base, file;
  if (canonicalPath(root, &base) != 0) return std::nullopt;
  if (canonicalPath(base + "/" + std::string(relative), &file) != 0) return std::nullopt;
  DirectoryInfo info;
  if (directoryInfo(file, &info) != 0 || !info.isRegularFile) return std::nullopt;
  // Inside root: below it, a whole component at a time ("/srv/man" does
  // not hold "/srv/manual/x").
  if (base != "/" && file.compare(0, base.size() + 1, base + "/") != 0) return std::nullopt;
  return file;
}
