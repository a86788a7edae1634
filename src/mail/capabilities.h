// What a mail server says it can do: POP3 CAPA lines (RFC 2449) and the
// lines of an SMTP EHLO reply (RFC 5321), read into keywords and SASL
// mechanisms.
//
//   POP3   "STLS\r\n", "SASL PLAIN XOAUTH2\r\n", "USER\r\n", ...
//   SMTP   "250-mail.example.com hello\r\n" (first line: greeting, skipped)
//          "250-STARTTLS\r\n", "250-AUTH PLAIN LOGIN\r\n", "250 AUTH=LOGIN\r\n"
//
// Keywords and mechanisms are kept upper-case; at most kMaxEntries of each
// and kMaxWord bytes per word, so a hostile server cannot make the lists
// grow without bound.
//
// SASL continuations: a POP3 server asks with "+ <base64>", an SMTP server
// with "334 <base64>"; continuationText decodes what follows.
#pragma once

#include <set>
#include <string>
#include <string_view>

struct Capabilities {
  static constexpr size_t kMaxEntries = 64;
  static constexpr size_t kMaxWord = 64;

  std::set<std::string> keywords;
  std::set<std::string> mechanisms;

  bool has(const std::string& keyword) const { return keywords.count(keyword) != 0; }
  bool offers(const std::string& mechanism) const { return mechanisms.count(mechanism) != 0; }
  void clear() {
    keywords.clear();
    mechanisms.clear();
  }
};

// One line of a CAPA reply (not the "+OK" line, not the final ".").
void addPop3Capability(std::string_view line, Capabilities& into);
// A whole EHLO reply, every line with its code.
Capabilities ehloCapabilities(std::string_view reply);

// The decoded challenge after "+ " (POP3) or "334 " (SMTP); false when line
// is not a continuation.
bool continuationText(std::string_view line, std::string& decoded);

// SASL initial responses, base64: PLAIN (RFC 4616) and XOAUTH2 (Google's
// and Microsoft's format: "user=" u ^A "auth=Bearer " token ^A ^A).
std::string saslPlain(const std::string& user, const std::string& password);
std::string saslXOAuth2(const std::string& user, const std::string& accessToken);
