#include "cycle/automatic_mail.h"

#include "cycle/acknowledgement_mail.h"
#include "mail/address.h"
#include "mail/mail_message.h"

namespace {

// The value up to its first ";" or "(" (parameters, comments), trimmed
// and in lower case.
stringT token(const stringT& value) {
  std::string_view v = value.view();
  size_t end = v.find_first_of(";(");
  return stringT(v.substr(0, end)).trim().lower();
}

bool robotLocalPart(const stringT& headerValue) {
  if (headerValue.trim().empty()) return false;
  auto [name, address] = splitAddress(headerValue);
  stringT a = (address.empty() ? headerValue : address).trim();
  size_t at = a.find('@');
  stringT local = (at == stringT::npos ? a : a.left(at)).lower();
  return local == "mailer-daemon" || local == "postmaster";
}

stringT shown(const char* name, const stringT& value) { return stringT(name) + ": " + printable(value.trim()); }

}  // namespace

stringT automaticMailReason(const MailMessage& m) {
  stringT autoSubmitted = m.header("auto-submitted");
  if (!autoSubmitted.trim().empty() && token(autoSubmitted) != "no") return shown("Auto-Submitted", autoSubmitted);
  stringT precedence = token(m.header("precedence"));
  if (precedence == "bulk" || precedence == "junk" || precedence == "list")
    return shown("Precedence", m.header("precedence"));
  if (!m.header("list-id").trim().empty()) return shown("List-Id", m.header("list-id"));
  stringT returnPath = m.header("return-path");
  if (returnPath.replaceAll(" ", "").trim() == "<>") return shown("Return-Path", returnPath);
  if (robotLocalPart(m.header("from"))) return shown("From", m.header("from"));
  if (robotLocalPart(m.header("reply-to"))) return shown("Reply-To", m.header("reply-to"));
  if (token(m.header("content-type")).startsWith("multipart/report"))
    return shown("Content-Type", m.header("content-type"));
  return stringT();
}
