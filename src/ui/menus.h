// A small model of menus and dialogs, for the console to render, and
// their translation through the loaded message file.
//
// Menus: an item text that is not empty and begins with "*" is replaced by
// its translation (submenus first); the item keeps its command id. Status-
// bar prompts that begin with "*" are translated when shown.
// Dialogs (and settings pages and sheets): the caption is always passed
// through translate; every control whose text begins with "*" gets its
// translation.
//
// Plain values; not shared between threads (copy them).
#pragma once

#include <vector>

#include "common/string.h"

class StringMapper;

struct MenuItem {
  stringT text;                 // "*&Session"; empty for a separator
  int command = 0;              // 0 for a submenu or a separator
  stringT prompt;               // status-bar prompt, may be marked
  std::vector<MenuItem> items;  // the submenu, when there is one

  bool isSeparator() const { return text.empty() && items.empty(); }
};

using Menu = std::vector<MenuItem>;

struct DialogControl {
  int id = 0;
  stringT text;
};

struct Dialog {
  int id = 0;
  stringT caption;
  std::vector<DialogControl> controls;
};

void translateMenu(Menu& menu, const StringMapper& mapper);
void translateMenu(Menu& menu);  // with the process's mapper
void translateDialog(Dialog& dialog, const StringMapper& mapper);
void translateDialog(Dialog& dialog);
// A prompt as shown: translated when it begins with "*".
stringT translatePrompt(const stringT& prompt);

// The item with command id in menu (searched depth first), or nullptr.
const MenuItem* findCommand(const Menu& menu, int command);
