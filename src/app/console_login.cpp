#include "app/console_login.h"

#include "common/string_mapper.h"
#include "platform/secret_input.h"
#include "platform/whole_file.h"
#include "ui/console_password.h"
#include "ui/console_security.h"

namespace {

bool usableToken(const std::string& token) {
  if (token.size() < kMinLoginTokenLength) return false;
  for (char c : token)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  return true;
}

}  // namespace

std::optional<std::string> loadOrCreateLoginToken(const std::string& path, std::string* error) {
  std::string text;
  if (readWholeFile(path, 4096, text) == ReadFileResult::Ok) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    if (usableToken(text)) return text;
  }
  std::string token = makeProcessToken();
  std::string reason;
  if (!replaceFile(path, token + "\n", 0600, reason)) {
    *error = "cannot write the console's login token to " + path + ": " + reason;
    return std::nullopt;
  }
  return token;
}

std::optional<std::string> askConsolePassword(std::FILE* in, std::FILE* out, std::string* error) {
  std::string first, second;
  if (!readSecretLine(in, out, translate("*Console password:").str() + " ", first) || first.empty()) {
    *error = translate("*No password was given; nothing was changed.").str();
    return std::nullopt;
  }
  if (isTerminal(in)) {
    if (!readSecretLine(in, out, translate("*Console password again:").str() + " ", second) || second != first) {
      *error = translate("*The two passwords differ; nothing was changed.").str();
      return std::nullopt;
    }
  }
  std::optional<std::string> hash = hashConsolePassword(first);
  if (!hash) *error = translate("*The password could not be hashed; nothing was changed.").str();
  return hash;
}
