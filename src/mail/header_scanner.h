// The header scan of a mail message: one pass over the header block that
// builds the index from lower-case header name to value span.
//
// Input: the message text from its start through the line ending of the
// last header line (the header block plus its final "\r\n"). End of line
// means "\r\n"; the "\n" is consumed with the "\r".
//
//   state        | character          | action
//   -------------+--------------------+----------------------------------------
//   line start   | space, tab         | continuation: the value now reaches up
//                |                    | to here; go to value (to after colon
//                |                    | when the stored value was empty)
//   line start   | ":"                | skip line
//   line start   | other              | a name starts; seen = true; name
//   skip line    | any                | seen = false; at "\n" go to line start
//   name         | space, tab, ":"    | take the name (first 127 characters,
//                |                    | lower case); ":" after colon, else
//                |                    | before colon
//   name         | "\n"               | line start (no colon: line ignored)
//   name         | other              | name grows
//   before colon | space, tab         | stay
//   before colon | ":"                | after colon
//   before colon | "\n"               | line start
//   before colon | other              | skip line
//   after colon  | space, tab         | stay (leading blanks are dropped)
//   after colon  | end of line        | store the name with an empty value
//   after colon  | other              | the value starts here; value
//   value        | end of line        | store name and value if seen
//   value        | other              | value grows
//
// Storing a name already in the index replaces its value: the last
// occurrence of a header wins. A folded value runs from its first non-blank
// character to the end of its last continuation line, inner line endings
// and blanks included; trailing blanks stay in the value.
//
// Limits: names are cut to kMaxHeaderName characters; the index takes at
// most kMaxHeaderNames distinct names (later new names are ignored, known
// ones still replaced), so a hostile header block cannot grow it without
// bound. Offsets are 32-bit: the input must be shorter than 4 GiB.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

struct TextSpan {
  uint32_t offset = 0;
  uint32_t length = 0;
};

using HeaderIndex = std::map<std::string, TextSpan, std::less<>>;

inline constexpr size_t kMaxHeaderName = 127;
inline constexpr size_t kMaxHeaderNames = 10000;

// Scans block (offsets in the index are offsets into block) into index.
void scanHeaders(std::string_view block, HeaderIndex& index);

// What is parsed of a header section. A parser spends memory per field and
// per folded line, not per byte: 6 million two-byte fields, or one Subject
// folded 5 million times, fit in a 25 MB message and take gigabytes once
// parsed. So the section is bounded before anything parses it:
//   - at most kMaxHeaderFields fields; the fields after them are not read;
//   - one field unfolded (its lines without their line ends) at most
//     kMaxHeaderField bytes: the lines that fit are read, the rest of the
//     field is not (a first line longer than that is cut to it);
//   - at most kMaxHeaderSection bytes read in all: the lines after them
//     are not read.
// The message itself stays whole; only what parsers see is bounded.
inline constexpr size_t kMaxHeaderSection = 256 * 1024;
inline constexpr size_t kMaxHeaderFields = 1000;
inline constexpr size_t kMaxHeaderField = 64 * 1024;

struct BoundedHeader {
  // True when something of the section is not read; kept then holds the
  // lines that are (each ending with its line end, "\r\n" for a cut one).
  bool cut = false;
  std::string kept;
};

// section: the header lines, without the empty line that ends them. Lines
// end with "\n" (a "\r" before it belongs to the line end).
BoundedHeader boundHeaderSection(std::string_view section);
