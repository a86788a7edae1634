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
      defineOption("Set", kOptValue | kOptRepeatable, kSlotSet,
                   translate("*Write setting N=VALUE into orvserv.cfg and exit (repeatable).")),
      defineOption("SetFromFile", kOptValue | kOptRepeatable, kSlotSetFromFile,
                   translate("*Write setting N=PATH from the first line of that file and exit.")),
      defineOption("SetFromStdin", kOptValue, kSlotSetFromStdin,
                   translate("*Write setting N from one line of standard input and exit.")),
      defineOption("NewConsoleToken", kOptSwitchOn, kSlotNewConsoleToken,
                   translate("*Replace the console's login token (every session ends), then exit.")),
  };
}

InformationRequest informationRequest(const std::vector<stringT>& args) {
  for (size_t i = 1; i < args.size(); ++i) {
    const stringT& a = args[i];
    if (a == "--help" || a == "-h" || a == "/?" || a == "-?") return InformationRequest::Help;
    if (a == "--version") return InformationRequest::Version;
  }
  return InformationRequest::None;
}

stringT helpText(const std::vector<OptionDefinition>& definitions, const stringT& programName) {
  const char* name = programName.c_str();
  stringT text = usageText(definitions, programName) + "\n";
  text += translate("*Without /Run or /Set it runs the gateway and its operator console until stopped.") + "\n";
  text += translate("*--help, -h or /? shows this text; --version shows the version.") + "\n";
  text += translate("*The console's login token is kept in @Orvane/console.token under the database directory; "
                    "the login address is the console's address with ?token= and that token. On a terminal it is "
                    "printed at start; under systemd or with output to a file or pipe, only where the file is.") +
          "\n\n";
  text += translate("*Examples:") + "\n";
  text += stringT::format("  %s /TarnwickDatabase:/srv/tarnwick\n", name);
  text += stringT::format("  %s /TD:/srv/tarnwick /Run:all\n", name);
  text += stringT::format("  %s /TD:/srv/tarnwick /Set:101=pop.example.org /Set:103=gateway /SetFromStdin:104\n",
                          name);
  text += "\n" + translate("*Settings that /Set writes:") + "\n";
  for (const char* line : {"*101 POP3 server, 102 SMTP server, 103 account name, 104 password (stored scrambled),",
                           "*105 POP3 port, 106 SMTP port, 151 interval in minutes, 152 title, 153 subject prefix,",
                           "*154 first line, 155 return address, 156 to 159 check boxes (0 or 1),",
                           "*320 POP3 security (none, stls, tls), 321 POP3 login (user, plain, xoauth2),",
                           "*323 SMTP security (none, starttls, tls), 324 SMTP login (none, plain, login, xoauth2),",
                           "*322 and 327 POP3 and SMTP certificate pins, 325 SMTP user, 328 CA file,",
                           "*326 SMTP password, 331 OAuth client secret, 332 OAuth refresh token (stored scrambled;",
                           "*give secrets with /SetFromStdin or /SetFromFile, which keep them out of the process list),",
                           "*329 allow passwords over unencrypted connections (0 or 1), 330 OAuth client id,",
                           "*333 OAuth token URL, 334 OAuth scope, 310 largest message kept whole (bytes),",
                           "*312 notices per address and hour, 313 request number in notice Subjects (0 or 1),",
                           "*380 time limit of a run and 381 of one message's download (seconds)."})
    text += "  " + translate(line) + "\n";
  return text;
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

// "N=VALUE" (withValue) or "N": N a setting number of one to four digits.
std::optional<SettingAssignment> readAssignment(std::string_view text, bool withValue) {
  size_t equals = withValue ? text.find('=') : text.size();
  if (equals == std::string_view::npos) return std::nullopt;
  std::string_view number = text.substr(0, equals);
  if (!allDigits(number) || number.size() > 4) return std::nullopt;
  SettingAssignment a;
  a.number = static_cast<int>(decimalValue(number));
  if (withValue) a.text = stringT(text.substr(equals + 1));
  return a;
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
  if (parsed.given(kSlotNewConsoleToken)) v.newConsoleToken = parsed.slots[kSlotNewConsoleToken]->on;
  for (int slot : {kSlotSet, kSlotSetFromFile}) {
    if (!parsed.given(slot)) continue;
    for (const stringT& text : parsed.slots[slot]->repeats) {
      auto assignment = readAssignment(text.view(), true);
      if (!assignment) {
        outcome.invalidToken = stringT(slot == kSlotSet ? "/Set:" : "/SetFromFile:") + text;
        return outcome;
      }
      assignment->source = slot == kSlotSet ? SettingSource::Value : SettingSource::File;
      assignment->token = stringT(slot == kSlotSet ? "/Set:" : "/SetFromFile:") + text;
      v.settings.push_back(*assignment);
    }
  }
  if (parsed.given(kSlotSetFromStdin)) {
    auto assignment = readAssignment(parsed.slots[kSlotSetFromStdin]->text.view(), false);
    if (!assignment) return invalid(kSlotSetFromStdin);
    assignment->source = SettingSource::Stdin;
    assignment->token = parsed.tokens[parsed.slots[kSlotSetFromStdin]->token];
    v.settings.push_back(*assignment);
  }
  outcome.ok = true;
  return outcome;
}
