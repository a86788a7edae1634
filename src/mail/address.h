// E-mail address parsing: splitting a header value into its display text
// and its bracketed address, checking an address character by character,
// and choosing the return address of a received message.
//
// validateAddress walks the text once with five states, from leading:
//
//   state                | character                  | result
//   ---------------------+----------------------------+--------------------
//   any                  | control (0x00-0x1F, 0x7F)  | refuse here
//   leading              | "@"                        | refuse here
//   leading              | space                      | stay
//   leading              | other                      | local part
//   local part           | "@"                        | after at
//   local part           | other                      | stay
//   after at, after dot  | "."                        | refuse (empty label)
//   after at, after dot  | space or refused character | refuse
//   after at, after dot  | other                      | label
//   label                | "."                        | after dot
//   label                | space or refused character | refuse
//   label                | other                      | stay
//
// At the end, local part and label accept; leading, after at and after dot
// refuse at the length. Bytes above 127 are ordinary characters. The
// characters refused in the domain are !@#$%^&*()~`+=[]{}\|"'?/<>,:;
//
// Security: both routines only read their input, within its length.
#pragma once

#include <utility>

#include "common/string.h"

class MailMessage;

inline constexpr int kAddressAccepted = -1;

// (text before the first "<", text between that "<" and the next ">").
// The first is empty without "<", the second when either bracket is
// missing. Nothing is trimmed or unquoted.
std::pair<stringT, stringT> splitAddress(const stringT& value);

// kAddressAccepted, or the 0-based position of the first offending
// character, or length when the text ends before the address is complete.
// Reads length bytes of text (at most text.length()).
[[nodiscard]] int validateAddress(const stringT& text, int length);

// The return address of a received message: the "reply-to" header, or
// "from" when that is empty; split, the bracketed address when not empty,
// else the leading text when not empty, else the whole value.
stringT returnAddress(const MailMessage& message);
