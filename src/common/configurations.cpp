#include "common/configurations.h"

#include <string>

#include "common/base64.h"
#include "common/file_access.h"
#include "common/string_mapper.h"
#include "common/tagged_text.h"

namespace {

// Any fixed value works, as long as both directions use the same one.
constexpr unsigned char kScrambleKey = 0xA7;

// The file is text with CR LF line ends; in memory a line ends in LF.
std::string toDisk(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string fromDisk(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out += bytes[i];
  }
  return out;
}

}  // namespace

ConfigurationsManager::ConfigurationsManager() : Manager(translate("*Configurations Manager")) {}

int ConfigurationsManager::read(const stringT& path, int low, int high) {
  std::string bytes;
  if (fileAccess().readWholeFile(path.str(), kMaxFileSize, bytes) != ReadFileResult::Ok)
    return setStatus(1, stringT::format(translateFormat("*can't open options file '%s' to read").c_str(), path.c_str()));
  extractTagged(stringT(fromDisk(bytes)), low, high, "\n", settings_, TagPlacement::LineStart);
  return setStatus(0);
}

int ConfigurationsManager::write(const stringT& path) {
  std::string text;
  for (const auto& [number, value] : settings_) {
    // A line end inside a value would start a setting of its own on the
    // next read; no control character is ever written.
    for (char c : value.view())
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        return setStatus(1, stringT::format(translateFormat("*Setting %d holds a control character; the options file '%s' was not written").c_str(),
                                            number, path.c_str()));
    text += taggedLine(number, value, "\n").view();
  }
  std::string reason;
  if (!fileAccess().replaceFile(path.str(), toDisk(text), 0600, reason)) {
    stringT message = stringT::format(translateFormat("*can't open options file '%s' for write").c_str(), path.c_str());
    return setStatus(1, message + "\r\n" + stringT(reason));
  }
  return setStatus(0);
}

int ConfigurationsManager::readSettings(const stringT& path) {
  // The instance may exist before the message file was loaded.
  setName(translate("*Configurations Manager"));
  int status = read(path, 0, 208);
  // The gateway's own settings beyond the classic ones (mail security,
  // console, service, limits) live above 300; see the table in the header.
  if (status == 0) status = read(path, kExtendedSettingsLow, kExtendedSettingsHigh);
  if (status != 0) {
    set(kTitle, translate("*Tarnwick @Orvane"));
    set(kSubjectPrefix, translate("*@Or:"));
    set(kFirstLine, translate("*Current status of your Tarnwick @Orvane"));
    set(kAllowPlaintextPassword, "0");
  }
  return status;
}

int ConfigurationsManager::writeSettings(const stringT& path) {
  set(kStamp205, "1.2.0.0");
  set(kStamp206, "2.9.0.0");
  return write(path);
}

ConfigurationsManager& configurations() {
  static ConfigurationsManager instance;
  return instance;
}

stringT scramble(const stringT& password) {
  std::string bytes = password.str();
  if (bytes.empty()) return stringT();
  bytes[0] = static_cast<char>(static_cast<unsigned char>(bytes[0]) ^ kScrambleKey);
  for (size_t i = 1; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ bytes[0]);
  return stringT(base64Encode(bytes));
}

stringT unscramble(const stringT& stored) {
  std::string bytes = base64Decode(stored.view());
  if (bytes.empty()) return stringT();
  const char first = bytes[0];
  bytes[0] = static_cast<char>(static_cast<unsigned char>(first) ^ kScrambleKey);
  for (size_t i = 1; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ first);
  return stringT(std::move(bytes));
}

IntervalDisplay intervalDisplay(long minutes) {
  static const IntervalDisplay units[] = {
      {0, 10080, "*week(s)"}, {0, 1440, "*day(s)"}, {0, 60, "*hour(s)"}, {0, 1, "*minute(s)"}};
  for (const IntervalDisplay& unit : units) {
    if (minutes != 0 && minutes % unit.unitMinutes == 0) return {minutes / unit.unitMinutes, unit.unitMinutes, unit.unitText};
  }
  return {minutes, 1, "*minute(s)"};
}

namespace {

bool guards(const FieldMap& settings, int secret, int setting) {
  auto in = [setting](std::initializer_list<int> list) {
    for (int n : list)
      if (n == setting) return true;
    return false;
  };
  const bool pop3Place = in({kPop3Server, kPop3Port, kPop3Security, kPop3CertificatePin});
  const bool smtpPlace = in({kSmtpServer, kSmtpPort, kSmtpSecurity, kSmtpCertificatePin});
  const bool trust = in({kTlsCaFile, kAllowPlaintextPassword});
  switch (secret) {
    case kPop3Password:
      return pop3Place || trust;
    case kSmtpPassword:
      return smtpPlace || trust;
    case kOAuthClientSecret:
      return in({kOAuthTokenUrl, kTlsCaFile});
    case kOAuthRefreshToken:
      return in({kOAuthTokenUrl, kTlsCaFile, kPop3Login, kSmtpLogin}) ||
             (pop3Place && settings.get(kPop3Login) == "xoauth2") ||
             (smtpPlace && settings.get(kSmtpLogin) == "xoauth2");
    default:
      return false;
  }
}

}  // namespace

std::vector<int> secretsClearedBy(const FieldMap& settings, int setting, const stringT& value) {
  std::vector<int> cleared;
  if (settings.get(setting) == value) return cleared;
  // Forbidding plain-text passwords is never a way to send one elsewhere.
  if (setting == kAllowPlaintextPassword && value == "0") return cleared;
  for (int secret : {kPop3Password, kSmtpPassword, kOAuthClientSecret, kOAuthRefreshToken})
    if (!settings.get(secret).empty() && guards(settings, secret, setting)) cleared.push_back(secret);
  return cleared;
}
