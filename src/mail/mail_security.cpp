#include "mail/mail_security.h"

#include <cctype>
#include <string>

namespace {

std::string lowerTrimmed(std::string_view word) {
  while (!word.empty() && std::isspace(static_cast<unsigned char>(word.front()))) word.remove_prefix(1);
  while (!word.empty() && std::isspace(static_cast<unsigned char>(word.back()))) word.remove_suffix(1);
  std::string out(word);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool parseTransportSecurity(std::string_view word, TransportSecurity& out) {
  std::string w = lowerTrimmed(word);
  if (w.empty() || w == "none") out = TransportSecurity::None;
  else if (w == "starttls" || w == "stls") out = TransportSecurity::StartTls;
  else if (w == "tls" || w == "ssl") out = TransportSecurity::Tls;
  else return false;
  return true;
}

bool parsePop3Login(std::string_view word, Pop3Login& out) {
  std::string w = lowerTrimmed(word);
  if (w.empty() || w == "user" || w == "password") out = Pop3Login::UserPass;
  else if (w == "plain") out = Pop3Login::Plain;
  else if (w == "xoauth2") out = Pop3Login::XOAuth2;
  else return false;
  return true;
}

bool parseSmtpLogin(std::string_view word, SmtpLogin& out) {
  std::string w = lowerTrimmed(word);
  if (w.empty() || w == "none") out = SmtpLogin::None;
  else if (w == "plain") out = SmtpLogin::Plain;
  else if (w == "login") out = SmtpLogin::Login;
  else if (w == "xoauth2") out = SmtpLogin::XOAuth2;
  else return false;
  return true;
}
