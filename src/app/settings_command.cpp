#include "app/settings_command.h"

#include <set>
#include <string>

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "cycle/scheduler.h"
#include "mail/address.h"
#include "platform/whole_file.h"
#include "ui/settings_pages.h"

namespace {

// A settings file line is short; this bounds what a wrong path can load.
constexpr size_t kMaxValueFile = size_t(1) << 20;

bool allDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

int controlCharacterAt(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return static_cast<int>(i);
  }
  return -1;
}

// The text up to the first line end ("\n" or "\r\n"); more lines after it
// are ignored, as the one-line value of a settings file would lose them.
std::string firstLine(std::string text) {
  size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

std::optional<stringT> readValue(const SettingAssignment& a, std::FILE* in, bool& stdinUsed) {
  switch (a.source) {
    case SettingSource::Value:
      return a.text;
    case SettingSource::File: {
      std::string bytes;
      if (readWholeFile(a.text.str(), kMaxValueFile, bytes) != ReadFileResult::Ok) return std::nullopt;
      return stringT(firstLine(std::move(bytes)));
    }
    case SettingSource::Stdin: {
      if (stdinUsed || !in) return std::nullopt;
      stdinUsed = true;
      std::string line;
      for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in)) {
        line += static_cast<char>(c);
        if (line.size() > kMaxSettingValue + 1) break;  // refused as too long below
      }
      if (line.empty() && std::feof(in)) return std::nullopt;
      return stringT(firstLine(std::move(line)));
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<SettingKind> commandLineSettingKind(int number) {
  switch (number) {
    case kPop3Server:
    case kSmtpServer:
    case kPop3Account:
    case kTitle:
    case kSubjectPrefix:
    case kFirstLine:
    case kPop3CertificatePin:
    case kSmtpUser:
    case kSmtpCertificatePin:
    case kTlsCaFile:
    case kOAuthClientId:
    case kOAuthTokenUrl:
    case kOAuthScope:
      return SettingKind::Text;
    case kPop3Password:
    case kSmtpPassword:
    case kOAuthClientSecret:
    case kOAuthRefreshToken:
      return SettingKind::Password;
    case kPop3Security:
    case kPop3Login:
    case kSmtpSecurity:
    case kSmtpLogin:
      return SettingKind::Choice;
    case kMaxMessageSize:
    case kNoticesPerHour:
    case kRunDeadline:
    case kMessageDeadline:
      return SettingKind::Number;
    case kPop3Port:
    case kSmtpPort:
      return SettingKind::Port;
    case kInterval:
      return SettingKind::Interval;
    case kReturnAddress:
      return SettingKind::Address;
    case kClearDiagnostics:
    case kFollowCompleted:
    case kFollowVoid:
    case kClosingComments:
    case kReferenceInSubject:
    case kAllowPlaintextPassword:
      return SettingKind::Flag;
    default:
      return std::nullopt;
  }
}

std::optional<stringT> settingValueProblem(int number, const stringT& value) {
  auto problem = [&](const char* marked) { return stringT::format(translateFormat(marked).c_str(), number); };
  std::optional<SettingKind> kind = commandLineSettingKind(number);
  if (!kind) return problem("*Setting %d cannot be written from the command line");
  if (value.size() > kMaxSettingValue)
    return stringT::format(translateFormat("*The value of setting %d is longer than %d bytes").c_str(), number,
                           static_cast<int>(kMaxSettingValue));
  if (int at = controlCharacterAt(value.view()); at >= 0)
    return stringT::format(translateFormat("*The value of setting %d holds a control character at position %d").c_str(),
                           number, at);
  std::string_view text = value.view();
  switch (*kind) {
    case SettingKind::Port:
      if (!text.empty() && (!allDigits(text) || text.size() > 5 || decimalValue(text) > 65535))
        return problem("*The value of setting %d must be a port number from 0 to 65535");
      break;
    case SettingKind::Interval:
      if (!text.empty() && (!allDigits(text) || text.size() > 12 || decimalValue(text) > Scheduler::kMaxMinutes))
        return problem("*The value of setting %d must be a number of minutes (0 for no timer)");
      break;
    case SettingKind::Flag:
      if (text != "0" && text != "1") return problem("*The value of setting %d must be 0 or 1");
      break;
    case SettingKind::Address:
      if (!text.empty()) {
        int position = validateAddress(value, static_cast<int>(value.size()));
        if (position != kAddressAccepted)
          return stringT::format(translateFormat("*Invalid Return E-mail Address: '%s' at position %d").c_str(),
                                 value.c_str(), position);
      }
      break;
    case SettingKind::Choice:
    case SettingKind::Number:
      // The words and bounds of the settings pages.
      if (const SettingField* field = settingsPageField(number)) {
        stringT why = fieldRefusal(*field, value);
        if (!why.empty()) return stringT::format(translateFormat("*Setting %d: %s").c_str(), number, why.c_str());
      }
      break;
    case SettingKind::Text:
    case SettingKind::Password:
      break;
  }
  return std::nullopt;
}

std::optional<FieldMap> resolveSettings(const std::vector<SettingAssignment>& assignments, std::FILE* in,
                                        std::vector<stringT>& problems) {
  FieldMap values;
  std::set<int> seen;
  bool stdinUsed = false;
  const size_t problemsBefore = problems.size();
  for (const SettingAssignment& a : assignments) {
    if (!seen.insert(a.number).second) {
      problems.push_back(
          stringT::format(translateFormat("*Setting %d is given more than once").c_str(), a.number));
      continue;
    }
    if (!commandLineSettingKind(a.number)) {
      problems.push_back(*settingValueProblem(a.number, stringT()));
      continue;
    }
    std::optional<stringT> value = readValue(a, in, stdinUsed);
    if (!value) {
      problems.push_back(a.source == SettingSource::File
                             ? stringT::format(translateFormat("*Can't read the value of setting %d from '%s'").c_str(),
                                               a.number, a.text.c_str())
                             : stringT::format(translateFormat("*No value for setting %d on standard input").c_str(),
                                               a.number));
      continue;
    }
    if (auto problem = settingValueProblem(a.number, *value)) {
      problems.push_back(*problem);
      continue;
    }
    values.set(a.number, commandLineSettingKind(a.number) == SettingKind::Password ? scramble(*value) : *value);
  }
  if (problems.size() != problemsBefore) return std::nullopt;
  return values;
}

std::vector<int> applySettings(const FieldMap& values, FieldMap& settings) {
  std::set<int> cleared;
  auto isSecret = [](int number) { return commandLineSettingKind(number) == SettingKind::Password; };
  for (const auto& [number, value] : values) {
    if (isSecret(number)) continue;
    for (int secret : secretsClearedBy(settings, number, value)) {
      settings.set(secret, stringT());
      cleared.insert(secret);
    }
    settings.set(number, value);
  }
  for (const auto& [number, value] : values) {
    if (!isSecret(number)) continue;
    settings.set(number, value);
    cleared.erase(number);
  }
  return std::vector<int>(cleared.begin(), cleared.end());
}
