#include "app/command_line.h"

#include "common/field_map.h"
#include "common/string_mapper.h"

std::vector<OptionDefinition> orvservOptions() {
  return {
      defineOption("TarnwickDatabase", kOptValue, kSlotDatabase, translate("*Tarnwick Database location.")),
      defineOption("LANGID", kOptValue, kSlotLangId, translate("*Language id to use.")),
      defineOption("Listen", kOptValue, kSlotListen, translate("*Operator console address ADDR:PORT, or off.")),
      defineOption("Run", kOptValue, kSlotRun, translate("*Do one run and exit: retrieve, update, acknowledge or all.")),
      defineOption("AssumeYes", kOptSwitch, kSlotAssumeYes, translate("*Answer Yes to start-up questions.")),
      defineOption("ConsolePassword", kOptSwitchOn, kSlotConsolePassword,
                   translate("*Set the operator console's password (asked for), then exit.")),
  };
}

std::optional<uint16_t> parseLanguageId(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    int digit = (c >= '0' && c <= '9') ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(digit);
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

namespace {

bool allDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// "off", "PORT", "ADDR:PORT" or "[IPv6]:PORT".
bool readListen(std::string_view text, CommandLine& into) {
  if (stringT(text).lower() == "off") {
    into.consoleOff = true;
    return true;
  }
  std::string_view address = kDefaultConsoleAddress, port = text;
  size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
      address = address.substr(1, address.size() - 2);
    if (address.empty()) return false;
  }
  if (!allDigits(port) || port.size() > 5) return false;
  long number = decimalValue(port);
  if (number < 1 || number > 65535) return false;
  into.consoleAddress = stringT(address);
  into.consolePort = static_cast<uint16_t>(number);
  return true;
}

bool readRun(std::string_view text, CommandLine& into) {
  stringT kind = stringT(text).lower();
  if (kind == "retrieve") into.run = RunKind::Retrieve;
  else if (kind == "update") into.run = RunKind::Update;
  else if (kind == "acknowledge") into.run = RunKind::Acknowledge;
  else if (kind == "all") into.run = RunKind::All;
  else return false;
  return true;
}

}  // namespace

CommandLineOutcome readCommandLine(const ParseResult& parsed) {
  CommandLineOutcome outcome;
  if (auto bad = parsed.firstUnmatched()) {
    outcome.invalidToken = parsed.tokens[*bad];
    return outcome;
  }
  CommandLine& v = outcome.values;
  auto invalid = [&](int slot) {
    outcome.invalidToken = parsed.tokens[parsed.slots[slot]->token];
    return outcome;
  };
  if (parsed.given(kSlotDatabase)) {
    // The whole text after the colon: a directory name may hold commas.
    stringT path = parsed.slots[kSlotDatabase]->text.replaceAll("\\", "/");
    while (path.size() > 1 && path.endsWith("/")) path = path.left(path.size() - 1);
    if (path.empty()) return invalid(kSlotDatabase);
    v.database = path;
  }
  if (parsed.given(kSlotLangId)) {
    auto id = parseLanguageId(parsed.value(kSlotLangId)->view());
    if (!id) return invalid(kSlotLangId);
    v.languageId = *id;
  }
  if (parsed.given(kSlotListen) && !readListen(parsed.slots[kSlotListen]->text.view(), v)) return invalid(kSlotListen);
  if (parsed.given(kSlotRun) && !readRun(parsed.value(kSlotRun)->view(), v)) return invalid(kSlotRun);
  if (parsed.given(kSlotAssumeYes)) v.assumeYes = parsed.slots[kSlotAssumeYes]->on;
  if (parsed.given(kSlotConsolePassword)) v.setConsolePassword = parsed.slots[kSlotConsolePassword]->on;
  outcome.ok = true;
  return outcome;
}
