// MailMessage: one mail message as the raw text received (or stored in the
// logs table), with its headers, body and decoded text parsed on demand.
//
// Layout of the text:
//
//   header block         everything before the first "\r\n\r\n"
//   "\r\n\r\n"
//   body                 everything after it, to the end of the text
//
// A text without "\r\n\r\n" has no headers and an empty body. Headers are
// indexed by lower-case name (header_scanner.h); the body is decoded by a
// top-level Content-Transfer-Encoding of exactly "quoted-printable" or
// "base64" (any case, nothing else in the value; transfer_decoding.h).
// There is no MIME structure: a multipart body is its whole raw text.
// Parsing never fails: what cannot be understood yields empty values.
//
// The header block is bounded before it is indexed (boundHeaderSection,
// header_scanner.h): when it is cut, the index and the header values come
// from the part that is read, and headerCut() says so.
//
// Values are spans into the one text and are cut out (sharing its storage)
// only when asked for. Parsing is one pass over the header block plus one
// over the body when it is encoded; nothing is quadratic.
//
// Lifetime: a MailMessage owns its text and copies whole (the POP3 cache
// hands out copies). Accessors parse on first use, so they change the
// object's cached state: not thread-safe, even through const.
#pragma once

#include <string_view>

#include "common/string.h"
#include "mail/header_scanner.h"

class MailMessage {
 public:
  MailMessage() = default;
  explicit MailMessage(stringT text) : text_(std::move(text)) {}

  // Builds the header index, the spans and the decoded body (once).
  void parse() const;
  bool parsed() const { return parsed_; }

  // Raw value of the header name (lower case), empty when absent.
  stringT header(std::string_view name) const;
  // header() with RFC 2047 encoded words decoded.
  stringT decodedHeader(std::string_view name) const;
  // The raw body.
  stringT body() const;
  // The decoded body when there is one, otherwise the raw body.
  stringT text() const;

  // The whole message as received.
  const stringT& rawText() const { return text_; }
  // The index of header names, for callers that list every header.
  const HeaderIndex& headers() const;
  // True when part of the header block was not read (too many fields, a
  // field or the block too long).
  bool headerCut() const;

 private:
  stringT text_;
  mutable HeaderIndex index_;
  mutable bool parsed_ = false;
  mutable TextSpan headerSpan_;
  // The part of the header block that was read, when it was cut; the
  // index's spans are then into it.
  mutable stringT headerText_;
  mutable bool headerCut_ = false;
  mutable TextSpan bodySpan_;
  mutable stringT decodedBody_;
};
