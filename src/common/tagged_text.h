// Tagged text: "[" + number + "] " + value + terminator.
//
// The settings file uses a line feed as terminator, request forms in mail
// bodies use ";;". For each number the first occurrence of its tag anywhere
// in the text is taken (even inside another value), and the value runs to
// the first terminator after it; a first tag with no terminator after it
// gives no value. A tag is the number in plain decimal: "[0101] " is not
// the tag of 101.
//
// With TagPlacement::LineStart only tags at the start of the text or right
// after a line feed count: the settings file uses that, so a value that
// holds the text of another setting's tag can never replace that setting.
//
// One pass over the text, linear in its length whatever it holds.
#pragma once

#include <optional>
#include <string_view>

#include "common/field_map.h"

enum class TagPlacement { Anywhere, LineStart };

// The value of the first tag of number, if any.
std::optional<stringT> taggedValue(const stringT& text, int number, std::string_view terminator);

// For every number with low < number < high whose first tag has a value,
// sets that value in into (other entries of into are kept). Returns how
// many values were found.
size_t extractTagged(const stringT& text, int low, int high, std::string_view terminator, FieldMap& into,
                     TagPlacement placement = TagPlacement::Anywhere);

// "[number] value" + terminator.
stringT taggedLine(int number, const stringT& value, std::string_view terminator);
