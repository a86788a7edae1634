// MIME for mail the gateway writes: header texts and bodies in UTF-8 made
// fit for 7-bit transport, through GMime.
//
//   display names, unstructured texts  ASCII as it is; otherwise RFC 2047
//                                      encoded words in UTF-8
//   header lines                       "Name: value", folded at blanks
//                                      (CRLF + blank) to 78 characters
//                                      where the words allow, never over
//                                      998
//   bodies                             7bit when ASCII with lines of at
//                                      most 998 octets, else quoted-
//                                      printable (76-character lines)
//
// Texts that are not UTF-8 have their stray bytes replaced by U+FFFD
// first, so what is declared UTF-8 is UTF-8. Line ends are CRLF.
#pragma once

#include "common/string.h"

// A display name for "Name <address>" (a phrase).
stringT encodedDisplayName(const stringT& utf8);
// An unstructured header text such as a Subject.
stringT encodedHeaderText(const stringT& utf8);
// "name: value" with its folds, without the final line end. value must
// hold no line ends of its own.
stringT foldedHeader(std::string_view name, const stringT& value);

struct EncodedBody {
  const char* transferEncoding;  // "7bit" or "quoted-printable"
  stringT text;                  // CRLF line ends
};
// body: UTF-8 text with CRLF (or LF) line ends.
EncodedBody encodedBody(const stringT& body);
