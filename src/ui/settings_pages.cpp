#include "ui/settings_pages.h"

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "mail/address.h"
#include "ui/main_window.h"

namespace {

constexpr int kPreferenceTexts[] = {kTitle, kSubjectPrefix, kFirstLine, kReturnAddress};
constexpr int kCheckSettings[] = {kClearDiagnostics, kFollowCompleted, kFollowVoid, kClosingComments};
constexpr long kUnitFactors[] = {1, 60, 1440, 10080};
constexpr const char* kUnitTexts[] = {"*minute(s)", "*hour(s)", "*day(s)", "*week(s)"};
// Secrets that no page shows: the console password hash.
constexpr int kSecretsOffThePages[] = {350};

template <size_t N>
bool oneOf(int setting, const int (&list)[N]) {
  for (int s : list)
    if (s == setting) return true;
  return false;
}

PageResult refused(stringT message) { return PageResult{false, std::move(message), {}}; }

std::vector<ShownField> shown(const std::vector<SettingField>& fields) {
  std::vector<ShownField> list;
  for (const SettingField& f : fields) {
    stringT stored = configurations().get(f.number);
    if (f.kind == FieldKind::Secret) {
      list.push_back(ShownField{&f, stringT(), !stored.empty()});
      continue;
    }
    // A choice or check box shows what its empty value stands for.
    bool standsFor = stored.empty() && f.emptyMeans && (f.kind == FieldKind::Choice || f.kind == FieldKind::Check);
    list.push_back(ShownField{&f, standsFor ? stringT(f.emptyMeans) : stored, !stored.empty()});
  }
  return list;
}

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// A decimal number of digits only (blanks around it allowed); nothing when
// the text is anything else or too long to be a sensible count.
std::optional<long> wholeNumber(const stringT& text) {
  std::string_view v = text.view();
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
  if (v.empty() || v.size() > 12) return std::nullopt;
  long n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

// The labels of the security settings are those of kMailSecuritySettings
// (cycle/mail_security_setup.h); the words are the ones its set-up reads.
const std::vector<SettingField>& emailFields() {
  static const std::vector<SettingField> fields = {
      {kPop3Server, "*POP3 Server:", FieldKind::Text, {}, false, "*Incoming mail (POP3)"},
      {kPop3Account, "*Account name:", FieldKind::Text},
      {kPop3Password, "*Password:", FieldKind::Secret, {}, true},
      {kPop3Port, "*POP3 port (optional):", FieldKind::Port},
      {kPop3Security, "*POP3 security", FieldKind::Choice,
       {{"none", "*No encryption"}, {"stls", "*STLS on the POP3 port"}, {"tls", "*TLS from the start (port 995)"}},
       false, nullptr, "none"},
      {kPop3Login, "*POP3 login", FieldKind::Choice,
       {{"user", "*USER and PASS"}, {"plain", "*SASL PLAIN"}, {"xoauth2", "*OAuth 2 (XOAUTH2)"}},
       false, nullptr, "user"},
      {kPop3CertificatePin, "*POP3 certificate pin (SHA-256)", FieldKind::Text},
      {kSmtpServer, "*SMTP Server:", FieldKind::Text, {}, false, "*Outgoing mail (SMTP)"},
      {kSmtpPort, "*SMTP port (optional):", FieldKind::Port},
      {kSmtpSecurity, "*SMTP security", FieldKind::Choice,
       {{"none", "*No encryption"}, {"starttls", "*STARTTLS on the SMTP port"}, {"tls", "*TLS from the start (port 465)"}},
       false, nullptr, "none"},
      {kSmtpLogin, "*SMTP login", FieldKind::Choice,
       {{"none", "*No login"}, {"plain", "*SASL PLAIN"}, {"login", "*SASL LOGIN"}, {"xoauth2", "*OAuth 2 (XOAUTH2)"}},
       false, nullptr, "none"},
      {kSmtpUser, "*SMTP user name", FieldKind::Text},
      {kSmtpPassword, "*SMTP password", FieldKind::Secret, {}, true},
      {kSmtpCertificatePin, "*SMTP certificate pin (SHA-256)", FieldKind::Text},
      {kTlsCaFile, "*Extra trusted certificates (CA file)", FieldKind::Text, {}, false, "*Certificates and OAuth"},
      // Empty in settings files of older versions, which sent passwords
      // over plain connections as they always had.
      {kAllowPlaintextPassword, "*Allow passwords over unencrypted connections", FieldKind::Check, {}, false, nullptr, "1"},
      {kOAuthClientId, "*OAuth client id", FieldKind::Text},
      {kOAuthClientSecret, "*OAuth client secret", FieldKind::Secret, {}, true},
      {kOAuthRefreshToken, "*OAuth refresh token", FieldKind::Secret, {}, true},
      {kOAuthTokenUrl, "*OAuth token URL", FieldKind::Text},
      {kOAuthScope, "*OAuth scope", FieldKind::Text},
  };
  return fields;
}

const std::vector<SettingField>& limitFields() {
  static const std::vector<SettingField> fields = {
      {kMaxMessageSize, "*Largest message kept whole (bytes):", FieldKind::Number, {}, false, "*Limits", "26214400",
       1073741824L},
      {kRunDeadline, "*Time limit of one run (seconds):", FieldKind::Number, {}, false, nullptr, "600", 86400},
      {kMessageDeadline, "*Time limit of one message's download (seconds):", FieldKind::Number, {}, false, nullptr,
       "120", 86400},
      {kNoticesPerHour, "*Notices per address and hour (0: no limit):", FieldKind::Number, {}, false, nullptr, "20",
       100000},
      {kReferenceInSubject, "*Request number in the Subject of notices", FieldKind::Check, {}, false, nullptr, "0"},
  };
  return fields;
}

const SettingField* settingsPageField(int setting) {
  for (const auto* table : {&emailFields(), &limitFields()})
    for (const SettingField& f : *table)
      if (f.number == setting) return &f;
  return nullptr;
}

stringT secretName(int setting) {
  // The page's label "Password:" says which only under its heading.
  if (setting == kPop3Password) return translate("*POP3 password");
  const SettingField* f = settingsPageField(setting);
  return f ? translate(f->label) : stringT::format("%d", setting);
}

bool isSecretSetting(int setting) {
  const SettingField* f = settingsPageField(setting);
  return (f && f->kind == FieldKind::Secret) || oneOf(setting, kSecretsOffThePages);
}

stringT settingRefusal(int setting, FieldKind kind, const stringT& value, const std::vector<FieldChoice>& choices) {
  std::string_view v = value.view();
  for (size_t i = 0; i < v.size(); ++i)
    if (isControl(v[i]))
      return stringT::format(translateFormat("*Line ends, tabs and other control characters are not allowed: position %d").c_str(),
                             static_cast<int>(i));
  switch (kind) {
    case FieldKind::Port:
      if (!value.empty()) {
        std::optional<long> port = wholeNumber(value);
        if (!port || *port < 1 || *port > 65535)
          return translate("*A port is a number from 1 to 65535, or empty for the usual port");
      }
      break;
    case FieldKind::Number:
      if (!value.empty() && !wholeNumber(value)) return translate("*A whole number is expected");
      break;
    case FieldKind::Check:
      if (value != "0" && value != "1") return translate("*Unknown setting");
      break;
    case FieldKind::Choice: {
      bool known = false;
      std::string words;
      for (const FieldChoice& c : choices) {
        known = known || value == c.value;
        words += (words.empty() ? "" : ", ") + std::string(c.value);
      }
      if (!known) return stringT::format(translateFormat("*Choose one of: %s").c_str(), words.c_str());
      break;
    }
    case FieldKind::Text:
    case FieldKind::Secret:
      break;
  }
  if (setting == kReturnAddress && !value.empty()) {
    int position = validateAddress(value, static_cast<int>(value.size()));
    if (position != kAddressAccepted)
      return stringT::format(translateFormat("*Invalid Return E-mail Address: '%s' at position %d").c_str(),
                             value.c_str(), position);
  }
  return stringT();
}

stringT fieldRefusal(const SettingField& field, const stringT& value) {
  if (value.empty() && field.emptyMeans && field.kind == FieldKind::Choice) return stringT();
  stringT why = settingRefusal(field.number, field.kind, value, field.choices);
  if (!why.empty() || field.kind != FieldKind::Number || field.maximum <= 0 || value.empty()) return why;
  std::optional<long> n = wholeNumber(value);
  if (n && *n <= field.maximum) return stringT();
  return stringT::format(translateFormat("*A whole number from 0 to %ld is expected (empty: %s)").c_str(),
                         field.maximum, field.emptyMeans ? field.emptyMeans : "0");
}

stringT intervalRefusal(const stringT& quantity, long unitFactor, long* minutes) {
  bool knownUnit = false;
  for (long f : kUnitFactors) knownUnit = knownUnit || f == unitFactor;
  std::optional<long> n = wholeNumber(quantity);
  if (!knownUnit || !n || *n > kMaxIntervalMinutes / unitFactor)
    return translate("*The interval must be a whole number from 0 minutes to 52 weeks");
  if (minutes) *minutes = *n * unitFactor;
  return stringT();
}

SettingsPages::SettingsPages(MainWindow& window, stringT settingsPath)
    : window_(window), settingsPath_(std::move(settingsPath)) {}

std::vector<ShownField> SettingsPages::emailPage() const { return shown(emailFields()); }

std::vector<ShownField> SettingsPages::limitsPage() const { return shown(limitFields()); }

PreferencesValues SettingsPages::preferences() const {
  PreferencesValues p;
  for (int i = 0; i < 4; ++i) p.units.push_back(IntervalUnit{translate(kUnitTexts[i]), kUnitFactors[i]});
  IntervalDisplay shown = intervalDisplay(configurations().getNumber(kInterval));
  p.quantity = shown.quantity;
  p.unitFactor = shown.unitMinutes;
  for (int s : kPreferenceTexts) p.texts.set(s, configurations().get(s));
  for (int s : kCheckSettings) p.checks.set(s, configurations().getNumber(s) > 0 ? "1" : "0");
  return p;
}

PageResult SettingsPages::save() {
  int status = configurations().writeSettings(settingsPath_);
  if (status == 0) return PageResult{};
  configurations().showWarning();
  return refused(configurations().describe());
}

std::vector<int> SettingsPages::secretsClearedByText(int setting, const stringT& value) const {
  const SettingField* field = settingsPageField(setting);
  if (!field || field->kind == FieldKind::Secret || !fieldRefusal(*field, value).empty()) return {};
  return secretsClearedBy(configurations().settings(), setting, value);
}

PageResult SettingsPages::storeText(int setting, const stringT& value) {
  const SettingField* field = settingsPageField(setting);
  if (!field && !oneOf(setting, kPreferenceTexts)) return refused(translate("*Unknown setting"));
  stringT why = field ? fieldRefusal(*field, value) : settingRefusal(setting, FieldKind::Text, value);
  if (!why.empty()) return refused(why);
  stringT stored = field && field->scrambled ? scramble(value) : value;
  if (configurations().get(setting) == stored) return PageResult{};
  std::vector<int> cleared = secretsClearedBy(configurations().settings(), setting, stored);
  configurations().set(setting, stored);
  for (int secret : cleared) configurations().set(secret, stringT());
  PageResult result = save();
  result.cleared = std::move(cleared);
  if (result.ok && !result.cleared.empty()) {
    stringT names;
    for (int secret : result.cleared) names += (names.empty() ? "" : ", ") + secretName(secret);
    result.message = stringT::format(
        translateFormat("*Cleared, as they belong to the old connection; enter them again: %s").c_str(), names.c_str());
  }
  return result;
}

PageResult SettingsPages::storeInterval(const stringT& quantity, long unitFactor) {
  long minutes = 0;
  stringT why = intervalRefusal(quantity, unitFactor, &minutes);
  if (!why.empty()) return refused(why);
  if (configurations().getNumber(kInterval) == minutes && !configurations().get(kInterval).empty())
    return PageResult{};
  if (!window_.setTimer(kProcessingTimer, minutes)) return refused(translate("*Timer could not be set"));
  configurations().set(kInterval, stringT::format("%ld", minutes));
  return save();
}

PageResult SettingsPages::storeCheck(int setting, bool ticked) {
  if (!oneOf(setting, kCheckSettings)) return refused(translate("*Unknown setting"));
  configurations().set(setting, ticked ? "1" : "0");
  return save();
}
