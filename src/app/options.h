// A small table-driven command-line option parser.
//
// An option is written "/" or "-" + name, and a name may be shortened by
// leaving out its optional characters: in a definition name the upper-case
// letters, digits and other characters are required, the lower-case letters
// and "_" optional ("TarnwickDatabase" accepts /TD:, -tarnwickdb: and the
// full name in any case; "LANGID" must be written in full).
//
// Token forms (first character "/" or "-", otherwise a plain argument):
//
//   | token                     | kind              | name part           |
//   |---------------------------|-------------------|---------------------|
//   | empty                     | 0                 | -                   |
//   | no "/" or "-" first       | 8 plain argument  | whole token         |
//   | ":" last                  | 1, values in the  | between first and   |
//   |                           | following tokens  | last character      |
//   | ":" after the first char  | 1|16 name:value   | up to the colon     |
//   | "-" last                  | 2 switch off      | between first/last  |
//   | "+" last                  | 4 switch on       | between first/last  |
//   | otherwise                 | 4 switch on       | after the first     |
//
// A token whose name part has a colon is a value option whatever its last
// character, so a path ending in "-" or "+" stays a value.
//
// Matching: a definition is a candidate when the token's kind shares a bit
// with its kind flags; a name match scores 1024 per required character and
// 1 per optional character consumed; the best score wins, the earlier
// definition on a tie. Each slot takes one result: a second token for a
// slot that already has one stays unmatched, unless the definition is
// kOptRepeatable.
//
// Values of name:value: the text after the first colon split at commas (an
// empty text gives one empty value); the text itself is kept whole as well.
// A "NAME:" token takes the next token as its value, and the tokens after
// it up to the next one that starts with "/" or "-".
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/string.h"

enum OptionKind : unsigned {
  kOptValue = 1,
  kOptSwitchOff = 2,
  kOptSwitchOn = 4,
  kOptSwitch = kOptSwitchOff | kOptSwitchOn,
  kOptPlain = 8,
  kOptNameValue = 16,
  // Definition flag only: every token that matches adds its text to the
  // slot's result (repeats) instead of staying unmatched after the first.
  kOptRepeatable = 64,
};

struct OptionDefinition {
  unsigned kind = 0;
  int slot = 0;
  stringT help;     // already translated
  stringT name;
  stringT display;  // "/" name ["+/-"] [":"]
};

// Builds a definition and its display text.
OptionDefinition defineOption(const stringT& name, unsigned kind, int slot, const stringT& help);

struct OptionResult {
  size_t token = 0;             // index of the token that gave it
  std::vector<stringT> values;  // value options
  stringT text;                 // the whole text after the first colon
  bool on = true;               // switches
  // Repeatable definitions: the text of every token taken, in order (the
  // first is text).
  std::vector<stringT> repeats;
};

struct ParseResult {
  std::vector<stringT> tokens;  // token 0 stands for the program name
  std::vector<int> slotOfToken; // -1 when unmatched
  std::vector<std::optional<OptionResult>> slots;

  bool given(int slot) const;
  // First value of slot, if it was given.
  std::optional<stringT> value(int slot) const;
  // Index of the first unmatched token after token 0, if any.
  std::optional<size_t> firstUnmatched() const;
};

// Splits a command-line text: blanks and tabs separate tokens, double
// quotes group (dropped; \" inside them is a quote). An unbalanced quote
// runs to the end of the text.
std::vector<stringT> tokenizeCommandLine(std::string_view text);

// tokens[0] is the program name's place and is never matched.
ParseResult parseOptions(const std::vector<stringT>& tokens, const std::vector<OptionDefinition>& definitions,
                         int slotCount);

// The usage summary: " " + "*[options]" + "\n", "*options" + ":\n", then
// "%s%-*s -- %s\n" per definition (one blank, the display text padded to
// the longest, the help text); marked texts translated.
stringT usageText(const std::vector<OptionDefinition>& definitions);
// The same, after the program-name line "%s: %s" (the translated "*Usage"
// and programName): "Usage: orvserv [options]".
stringT usageText(const std::vector<OptionDefinition>& definitions, const stringT& programName);

// Name-match score of given against a definition name; 0 when it does
// not match.
long optionNameScore(std::string_view definitionName, std::string_view given);
