#include "app/console_login.h"

#include "common/string_mapper.h"
#include "platform/secret_input.h"
#include "ui/console_password.h"
#include "ui/console_security.h"

std::optional<std::string> loadOrCreateLoginToken(const std::string& path, std::string* error) {
  std::string token = readLoginToken(path);
  if (!token.empty()) return token;
  return writeNewLoginToken(path, error);
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
