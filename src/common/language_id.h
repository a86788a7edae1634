// The user's language as a Windows language id, from the locale
// environment: LC_ALL, else LC_MESSAGES, else LANG (the first that is set
// and not empty), read as language[_TERRITORY][.codeset][@modifier].
//
//   | locale           | id     |  | locale      | id                     |
//   |------------------|--------|--|-------------|------------------------|
//   | fr_FR            | 0x040C |  | fr          | 0x040C (primary | 0x400) |
//   | fr_CA            | 0x0C0C |  | fr_XX       | 0x040C (unknown region)|
//   | en_US, C, POSIX, | 0x0409 |  | xx (unknown | 0x0409                 |
//   | unset            |        |  | language)   |                        |
#pragma once

#include <cstdint>

// id for one locale name such as "fr_CA.UTF-8".
uint16_t languageIdFromLocale(const char* locale);
// id for the environment values (each may be null or empty for unset);
// the program passes its LC_ALL, LC_MESSAGES and LANG.
uint16_t languageIdFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang);
