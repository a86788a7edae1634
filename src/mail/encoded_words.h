// RFC 2047 encoded words in header values: "=?charset?encoding?text?=".
//
// One pass, six states; "raw" is everything read since the "=" that may
// open a word, so an abandoned word is passed on exactly as typed.
//
//   plain    | "="                  | raw = "="; opened
//            | other                | output
//   opened   | "?"                  | charset
//            | other                | output raw; plain
//   charset  | "?"                  | encoding
//            | especial or control  | abandon (output raw; plain)
//            | other                | charset grows
//   encoding | "?"                  | B/b base64, Q/q quoted-printable, else
//            |                      | none; text
//            | especial or control  | abandon
//            | other                | encoding grows
//   text     | "?"                  | closing
//            | control or space     | abandon
//            | "_" (Q only)         | a space
//            | other                | encoded text grows
//   closing  | "="                  | output the decoded text (the raw text
//            |                      | for an unknown encoding); plain
//            | other                | abandon
//
// Every character read in the last five states is added to raw first.
// Especials: space ( ) < > @ , ; : / [ ] ? . = and the double quote.
// Control characters: bytes 0x00-0x1F and 0x7F. The charset is not used:
// decoded bytes are output as they are. Blanks between two encoded words
// stay. At the end of the value, raw text of an unfinished word is output
// unchanged.
//
// Limits: none needed: the output is never longer than the input, and the
// pass is linear.
#pragma once

#include <string>
#include <string_view>

std::string decodeEncodedWords(std::string_view value);
