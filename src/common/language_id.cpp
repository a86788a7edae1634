#include "common/language_id.h"

#include <string_view>

namespace {

struct Primary {
  const char* language;
  uint16_t id;  // primary language id
};

// ISO 639-1 code -> primary language id.
constexpr Primary kPrimaries[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
    {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E},
    {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14},
    {"pl", 0x15}, {"pt", 0x16}, {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B},
    {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20}, {"id", 0x21}, {"uk", 0x22},
    {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"vi", 0x2A}, {"eu", 0x2D},
};

struct Regional {
  const char* locale;  // language_TERRITORY
  uint16_t id;
};

// Territories whose id is not primary | 0x0400 (sublanguage 1).
constexpr Regional kRegionals[] = {
    {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404}, {"de_CH", 0x0807},
    {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407}, {"en_GB", 0x0809}, {"en_AU", 0x0C09},
    {"en_CA", 0x1009}, {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es_CO", 0x240A}, {"es_CL", 0x340A},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"fr_MC", 0x180C},
    {"it_CH", 0x0810}, {"nl_BE", 0x0813}, {"nn_NO", 0x0814}, {"pt_PT", 0x0816}, {"sv_FI", 0x081D},
    {"ar_SA", 0x0401}, {"ar_EG", 0x0C01}, {"ru_MD", 0x0819}, {"ro_MD", 0x0818},
};

constexpr uint16_t kEnglishUs = 0x0409;

}  // namespace

uint16_t languageIdFromLocale(const char* locale) {
  if (!locale) return kEnglishUs;
  std::string_view name(locale);
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return kEnglishUs;
  for (const Regional& r : kRegionals)
    if (name == r.locale) return r.id;
  std::string_view language = name.substr(0, name.find('_'));
  if (language == "nn") return 0x0814;
  for (const Primary& p : kPrimaries)
    if (language == p.language) return static_cast<uint16_t>(0x0400 | p.id);
  return kEnglishUs;
}

uint16_t languageIdFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang})
    if (value && *value) return languageIdFromLocale(value);
  return kEnglishUs;
}
