// The console's main menu (menu 128) and the marked texts the page shows,
// both translated through the loaded message file when asked for.
//
//   | menu            | item                      | command              |
//   |-----------------|---------------------------|----------------------|
//   | *&Session       | *Log &out                 | kCmdLogout           |
//   |                 | *&New Login Token         | kCmdNewLoginToken    |
//   |                 | *E&xit                    | kCmdExit             |
//   | *&Actions       | *&Retrieve E-mail         | kCmdRetrieve         |
//   |                 | *&Update Logs             | kCmdUpdate           |
//   |                 | *&Send Acknowledgements   | kCmdAcknowledge      |
//   |                 | *Do All                   | kCmdDoAll            |
//   | *&Administration| *&Accounts *&E-Mail       | kCmdAccounts ...     |
//   |                 | *&Preferences             |                      |
//   | *&Help          | *Contents *&Help Index    | kCmdContents ...     |
//   |                 | *&About                   | kCmdAbout            |
// Session > Printer Setup has no counterpart: the browser's print dialog
// chooses the printer when a log is printed.
#pragma once

#include <vector>

#include "common/string.h"
#include "ui/menus.h"

enum MainCommand {
  kCmdExit = 57665,
  kCmdRetrieve = 32771,
  kCmdUpdate = 32772,
  kCmdAcknowledge = 32773,
  kCmdDoAll = 32774,
  kCmdAccounts = 32775,
  kCmdEmail = 32776,
  kCmdPreferences = 32777,
  kCmdContents = 32778,
  kCmdHelpIndex = 32779,
  kCmdAbout = 57664,
  kCmdLogout = 32780,  // ends this browser's session; the gateway runs on
  kCmdNewLoginToken = 32781,  // a new login token; every session ends
};

// Menu 128 with its marked texts and prompts (untranslated).
Menu mainMenu();

// Every marked text the console page shows outside the menu.
const std::vector<const char*>& consoleTexts();
