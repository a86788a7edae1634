// The About box (dialog 100): title, program version, messages line,
// legal notice and the Tarnwick database location.
#pragma once

#include "app/startup.h"
#include "ui/menus.h"

enum AboutControl { kAboutVersion = 1, kAboutMessages = 2, kAboutLegal = 3, kAboutDatabase = 4 };

inline constexpr const char* kLegalCopyright = "Copyright (C) Corvenet";

// Filled as shown: translated texts, the program version "%u.%u.%u.%u".
Dialog aboutDialog(const AppValues& values);
