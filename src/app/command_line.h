// The options of orvserv and their values.
//
//   | slot | name             | form          | meaning                       |
//   |------|------------------|---------------|-------------------------------|
//   | 0    | TarnwickDatabase | /TD:DIR       | database directory ("\" = "/")|
//   | 1    | LANGID           | /LANGID:40c   | language id, hexadecimal      |
//   | 2    | Listen           | /Listen:A:P   | console address, or "off"     |
//   | 3    | Run              | /Run:KIND     | retrieve|update|acknowledge|  |
//   |      |                  |               | all, once, then exit          |
//   | 4    | AssumeYes        | /AssumeYes+   | answer Yes to questions       |
//   | 5    | ConsolePassword  | /CP           | set the console password and  |
//   |      |                  |               | exit                          |
//
// The first two come first in the usage text; the others exist because
// the platform has no desktop.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/options.h"

enum OrvservSlot { kSlotDatabase = 0, kSlotLangId, kSlotListen, kSlotRun, kSlotAssumeYes, kSlotConsolePassword, kOrvservSlots };

inline constexpr const char* kDefaultConsoleAddress = "127.0.0.1";
inline constexpr uint16_t kDefaultConsolePort = 7480;

enum class RunKind { None, Retrieve, Update, Acknowledge, All };

struct CommandLine {
  std::optional<stringT> database;   // with "/" separators
  std::optional<uint16_t> languageId;
  bool consoleOff = false;
  stringT consoleAddress = kDefaultConsoleAddress;
  uint16_t consolePort = kDefaultConsolePort;
  RunKind run = RunKind::None;
  bool assumeYes = false;
  bool setConsolePassword = false;
};

// The definitions, help texts translated now.
std::vector<OptionDefinition> orvservOptions();

struct CommandLineOutcome {
  bool ok = false;
  stringT invalidToken;  // when !ok: the token to name in "*Invalid Option: %s"
  CommandLine values;
};

// Reads the parse result: an unmatched token, or a value that cannot be
// used (LANGID not a hexadecimal number up to ffff, a bad Listen address,
// an unknown Run kind, an empty database path), makes it invalid.
CommandLineOutcome readCommandLine(const ParseResult& parsed);

// "%x" reading of a LANGID value, whole text only ("0x" prefix allowed).
std::optional<uint16_t> parseLanguageId(std::string_view text);
