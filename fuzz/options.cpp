// Fuzzes the command-line tokenizer, the option parser and the reading of
// orvserv's option values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/command_line.h"
#include "app/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  static const std::vector<OptionDefinition> definitions = orvservOptions();
  std::vector<stringT> tokens{stringT()};
  for (stringT& t : tokenizeCommandLine(text)) tokens.push_back(std::move(t));
  ParseResult parsed = parseOptions(tokens, definitions, kOrvservSlots);
  if (parsed.slotOfToken.size() != tokens.size()) __builtin_trap();
  for (int slot = 0; slot < kOrvservSlots; ++slot) {
    if (!parsed.given(slot)) continue;
    if (parsed.slotOfToken[parsed.slots[slot]->token] != slot) __builtin_trap();
  }
  CommandLineOutcome outcome = readCommandLine(parsed);
  if (!outcome.ok && parsed.firstUnmatched() && outcome.invalidToken.view() != tokens[*parsed.firstUnmatched()].view())
    __builtin_trap();
  (void)usageText(definitions);
  // The name matcher on its own, with the first token as a definition name.
  if (tokens.size() > 2) (void)optionNameScore(tokens[1].view(), tokens[2].view());
  return 0;
}
