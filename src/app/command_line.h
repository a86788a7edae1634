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
//   | 6    | Set              | /Set:N=VALUE  | write setting N, then exit;   |
//   |      |                  |               | may be given several times    |
//   | 7    | SetFromFile      | /SetFromFile: | setting N from the first line |
//   |      |                  | N=PATH        | of a file (repeatable)        |
//   | 8    | SetFromStdin     | /SetFromStdin:| setting N from one line of    |
//   |      |                  | N             | standard input (once)         |
//   | 9    | NewConsoleToken  | /NewConsoleToken | a new console login token  |
//   |      |                  |               | (every session ends), exit    |
//
// The first two come first in the usage text; the others exist because
// the platform has no desktop. Before the options are parsed, "--help",
// "-h", "/?" and "-?" ask for the help text and "--version" for the
// version; either ends the program at once with status 0.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/options.h"

enum OrvservSlot {
  kSlotDatabase = 0,
  kSlotLangId,
  kSlotListen,
  kSlotRun,
  kSlotAssumeYes,
  kSlotConsolePassword,
  kSlotSet,
  kSlotSetFromFile,
  kSlotSetFromStdin,
  kSlotNewConsoleToken,
  kOrvservSlots
};

inline constexpr const char* kDefaultConsoleAddress = "127.0.0.1";
inline constexpr uint16_t kDefaultConsolePort = 7480;

enum class RunKind { None, Retrieve, Update, Acknowledge, All };

// One setting to write from the command line: its number and where its
// value comes from.
enum class SettingSource { Value, File, Stdin };
struct SettingAssignment {
  int number = 0;
  SettingSource source = SettingSource::Value;
  stringT text;   // the value, or the file's path; empty for Stdin
  stringT token;  // the option as written, for messages
};

struct CommandLine {
  std::optional<stringT> database;   // with "/" separators
  std::optional<uint16_t> languageId;
  bool consoleOff = false;
  stringT consoleAddress = kDefaultConsoleAddress;
  uint16_t consolePort = kDefaultConsolePort;
  RunKind run = RunKind::None;
  bool assumeYes = false;
  bool setConsolePassword = false;
  bool newConsoleToken = false;
  std::vector<SettingAssignment> settings;  // in command-line order
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
// an unknown Run kind, an empty database path, a Set not written N=VALUE,
// a SetFromStdin that is not a number), makes it invalid. Whether a
// setting may be written, and its value, are checked later
// (app/settings_command.h).
CommandLineOutcome readCommandLine(const ParseResult& parsed);

// What the command line asks for before any option is read.
enum class InformationRequest { None, Help, Version };
// Help for "--help", "-h", "/?", "-?"; Version for "--version" (any
// token after the program name; the first one found wins).
InformationRequest informationRequest(const std::vector<stringT>& args);

// The help text: usage with the program name, how to ask for help and the
// version, and examples (translated).
stringT helpText(const std::vector<OptionDefinition>& definitions, const stringT& programName);

// "%x" reading of a LANGID value, whole text only ("0x" prefix allowed).
std::optional<uint16_t> parseLanguageId(std::string_view text);
