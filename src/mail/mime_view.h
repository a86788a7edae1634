// What a person reads in a received message: its MIME structure read with
// GMime, beside the raw MailMessage (which stays the message as received,
// with its header lookups).
//
//   from, replyTo, to   decoded display names (encoded words in any
//                       charset) and addresses as bare mailbox addresses; the first
//                       mailbox of From and Reply-To, every mailbox of To
//                       (groups flattened)
//   subject             decoded
//   requestText         the first text/plain part that is not an
//                       attachment (multipart/alternative, mixed, related,
//                       signed; a forwarded message/rfc822 only when the
//                       message has no text of its own), else the first
//                       HTML part as plain text (html_text.h); transfer
//                       encoding decoded, charset converted (text_charset.h);
//                       line ends CRLF, trailing blanks and blank lines
//                       dropped; one translated line per attachment at
//                       the end ("*Attachment: %s (%s)"); the whole ends
//                       with one CRLF unless it is empty
//   attachments         every other leaf part, except the resources of a
//                       multipart/related HTML body and the signature of a
//                       multipart/signed one; named by their file name,
//                       else the forwarded message's subject, else their
//                       content type; size decoded, in bytes
//
// All text is UTF-8 with control characters other than line ends and tabs
// removed (names hold no line ends either). readMime never throws; the
// header section is bounded before it is parsed (header_scanner.h); nesting
// deeper than kMimeMaxDepth and parts beyond kMimeMaxParts are not read,
// and the request text is cut at kMimeMaxText bytes. Safe to call from any
// thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kMimeMaxDepth = 64;
inline constexpr size_t kMimeMaxParts = 2000;
inline constexpr size_t kMimeMaxText = 4 * 1024 * 1024;

struct Mailbox {
  std::string displayName;
  std::string address;
};

struct Attachment {
  std::string name;
  size_t size = 0;
};

struct MimeView {
  std::optional<Mailbox> from, replyTo;
  std::vector<Mailbox> to;
  std::string subject;
  std::string requestText;
  std::vector<Attachment> attachments;

  // Where requestText came from: "text/plain", "text/html" or empty.
  std::string bodyType;
  // The charset the body was read as (after the fallbacks below).
  std::string bodyCharset;
  // True when the body's declared charset was unknown (or absent with bytes
  // that are not UTF-8) and it was read as Windows-1252.
  bool charsetFallback = false;
  // True when nesting, part count or text length hit their bounds.
  bool truncated = false;
  // True when part of the header section was not read (header_scanner.h,
  // boundHeaderSection): too many fields, or a field or the section too
  // long. The names, addresses and Subject come from the part read.
  bool headerCut = false;

  // Who sent it: the From mailbox; when GMime reads none there, the raw
  // From value split as mail/address.h splits it (the text before "<" as
  // the name; the bracketed address, else that text, else the whole value).
  Mailbox sender;
  // Where replies go: the address of Reply-To, else of From. When Reply-To
  // is there but holds no mailbox GMime can read, or neither header has an
  // address, the raw rule of mail/address.h (returnAddress) is used, so a
  // malformed header still reaches validateAddress and is refused.
  std::string returnAddress;

  // The mailbox replies go to: Reply-To when it has an address, else From.
  const Mailbox* returnMailbox() const;
};

MimeView readMime(std::string_view rawMessage);

// readMime of the header block alone (up to the first empty line): the
// names, addresses and Subject without reading the parts.
MimeView readMimeHeaders(std::string_view rawMessage);

// The line that names an attachment at the end of the request text
// (translated), without its line end: "Attachment: report.pdf (12 KB)".
std::string attachmentLine(const Attachment& attachment);
