// Tag definitions given to orvdb create (see tag_args.cpp for the syntax).
#pragma once

#include <array>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "engine/data4.h"

struct TagArgs {
  std::deque<std::array<std::string, 3>> texts;  // name, key, filter (stable storage)
  std::vector<std::pair<short, unsigned short>> modes;  // unique, descending
};

// Parses one --tag argument; false when it is malformed.
bool parseTagArg(const std::string& arg, TagArgs* out);
// The list for d4create, ended by an entry without a name; valid while tags lives.
std::vector<TAG4INFO> tagList(const TagArgs& tags);
