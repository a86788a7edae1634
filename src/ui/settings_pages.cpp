#include "ui/settings_pages.h"

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "mail/address.h"
#include "ui/main_window.h"

namespace {

constexpr int kTextSettings[] = {kPop3Server, kSmtpServer, kPop3Account, kPop3Password, kPop3Port, kSmtpPort,
                                 kTitle,      kSubjectPrefix, kFirstLine, kReturnAddress};
constexpr int kCheckSettings[] = {kClearDiagnostics, kFollowCompleted, kFollowVoid, kClosingComments};
constexpr long kUnitFactors[] = {1, 60, 1440, 10080};
constexpr const char* kUnitTexts[] = {"*minute(s)", "*hour(s)", "*day(s)", "*week(s)"};

template <size_t N>
bool oneOf(int setting, const int (&list)[N]) {
  for (int s : list)
    if (s == setting) return true;
  return false;
}

PageResult refused(stringT message) { return PageResult{false, std::move(message)}; }

}  // namespace

SettingsPages::SettingsPages(MainWindow& window, stringT settingsPath)
    : window_(window), settingsPath_(std::move(settingsPath)) {}

FieldMap SettingsPages::emailValues() const {
  FieldMap values;
  for (int s = kPop3Server; s <= kSmtpPort; ++s) values.set(s, configurations().get(s));
  values.set(kPop3Password, unscramble(configurations().get(kPop3Password)));
  return values;
}

PreferencesValues SettingsPages::preferences() const {
  PreferencesValues p;
  for (int i = 0; i < 4; ++i) p.units.push_back(IntervalUnit{translate(kUnitTexts[i]), kUnitFactors[i]});
  IntervalDisplay shown = intervalDisplay(configurations().getNumber(kInterval));
  p.quantity = shown.quantity;
  p.unitFactor = shown.unitMinutes;
  for (int s : {kTitle, kSubjectPrefix, kFirstLine, kReturnAddress}) p.texts.set(s, configurations().get(s));
  for (int s : kCheckSettings) p.checks.set(s, configurations().getNumber(s) > 0 ? "1" : "0");
  return p;
}

PageResult SettingsPages::save() {
  int status = configurations().writeSettings(settingsPath_);
  if (status == 0) return PageResult{};
  configurations().showWarning();
  return refused(configurations().describe());
}

PageResult SettingsPages::storeText(int setting, const stringT& value) {
  if (!oneOf(setting, kTextSettings)) return refused(translate("*Unknown setting"));
  if (setting == kReturnAddress && !value.empty()) {
    int position = validateAddress(value, static_cast<int>(value.size()));
    if (position != kAddressAccepted) {
      stringT message = stringT::format(translateFormat("*Invalid Return E-mail Address: '%s' at position %d").c_str(),
                                        value.c_str(), position);
      return refused(message);
    }
  }
  stringT stored = setting == kPop3Password ? scramble(value) : value;
  if (configurations().get(setting) == stored) return PageResult{};
  configurations().set(setting, stored);
  return save();
}

PageResult SettingsPages::storeInterval(long quantity, long unitFactor) {
  bool knownUnit = false;
  for (long f : kUnitFactors) knownUnit = knownUnit || f == unitFactor;
  if (!knownUnit || quantity < 0 || quantity > Scheduler::kMaxMinutes / unitFactor)
    return refused(translate("*The interval must be between 0 and 24 days"));
  long minutes = quantity * unitFactor;
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
