// Content-Transfer-Encoding decoder for quoted-printable (RFC 2045), also
// used for the text of encoded words. Base64 has one decoder for the whole
// program, base64Decode (common/base64.h). Single-pass, never fails: bytes
// that do not fit the encoding are decoded by the fixed rules below, never
// rejected.
//
// Quoted-printable: "=" starts an escape of two hex digits; "0"-"9" and
// "A"-"F" give their values and any other character counts as 0 (lower-case
// letters too). A carriage return in place of either digit is a soft line
// break: "=\r\n" gives nothing, "=\r" followed by another character gives
// "\r" and that character. An escape cut short by the end of the input is
// kept as typed. Everything else, line endings included, is copied.
//
// The output is never longer than the input.
#pragma once

#include <string>
#include <string_view>

std::string decodeQuotedPrintable(std::string_view in);
