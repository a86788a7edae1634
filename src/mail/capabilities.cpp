#include "mail/capabilities.h"

#include <cctype>
#include <vector>

#include "common/base64.h"

namespace {

// Words of line up to its end, split on blanks; each cut to kMaxWord.
std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size() && out.size() < Capabilities::kMaxEntries) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n') ++i;
    if (i > start) {
      std::string word(line.substr(start, std::min(i - start, Capabilities::kMaxWord)));
      for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out.push_back(std::move(word));
    }
    if (i < line.size() && (line[i] == '\r' || line[i] == '\n')) break;
  }
  return out;
}

void add(std::set<std::string>& set, std::string word) {
  if (set.size() < Capabilities::kMaxEntries) set.insert(std::move(word));
}

void addKeywordLine(const std::vector<std::string>& w, const char* saslKeyword, Capabilities& into) {
  if (w.empty()) return;
  std::string keyword = w[0];
  // "AUTH=PLAIN LOGIN": the old spelling of an SMTP AUTH line.
  std::string rest;
  if (size_t eq = keyword.find('='); eq != std::string::npos) {
    rest = keyword.substr(eq + 1);
    keyword.resize(eq);
  }
  if (keyword.empty()) return;  // "=..." names nothing
  add(into.keywords, keyword);
  if (keyword != saslKeyword) return;
  if (!rest.empty()) add(into.mechanisms, rest);
  for (size_t i = 1; i < w.size(); ++i) add(into.mechanisms, w[i]);
}

}  // namespace

void addPop3Capability(std::string_view line, Capabilities& into) { addKeywordLine(words(line), "SASL", into); }

Capabilities ehloCapabilities(std::string_view reply) {
  Capabilities out;
  bool first = true;
  while (!reply.empty()) {
    size_t end = reply.find('\n');
    std::string_view line = reply.substr(0, end == std::string_view::npos ? reply.size() : end + 1);
    reply.remove_prefix(line.size());
    if (first) {  // "250-name greeting"
      first = false;
      continue;
    }
    if (line.size() < 4) continue;
    addKeywordLine(words(line.substr(4)), "AUTH", out);
  }
  return out;
}

bool continuationText(std::string_view line, std::string& decoded) {
  std::string_view rest;
  if (line.substr(0, 1) == "+" && (line.size() == 1 || line[1] == ' ' || line[1] == '\r' || line[1] == '\n'))
    rest = line.substr(1);
  else if (line.substr(0, 3) == "334" && (line.size() == 3 || line[3] == ' ' || line[3] == '\r' || line[3] == '\n'))
    rest = line.substr(3);
  else
    return false;
  while (!rest.empty() && (rest.front() == ' ')) rest.remove_prefix(1);
  while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r' || rest.back() == ' ')) rest.remove_suffix(1);
  decoded = base64Decode(rest);
  return true;
}

std::string saslPlain(const std::string& user, const std::string& password) {
  return base64Encode(std::string(1, '\0') + user + std::string(1, '\0') + password);
}

std::string saslXOAuth2(const std::string& user, const std::string& accessToken) {
  return base64Encode("user=" + user + "\x01" + "auth=Bearer " + accessToken + "\x01\x01");
}
