#include "ui/menus.h"

#include "common/string_mapper.h"

namespace {

bool marked(const stringT& text) { return !text.empty() && text[0] == '*'; }

}  // namespace

void translateMenu(Menu& menu, const StringMapper& mapper) {
  for (MenuItem& item : menu) {
    translateMenu(item.items, mapper);
    if (marked(item.text)) item.text = mapper.translate(item.text);
  }
}

void translateMenu(Menu& menu) { translateMenu(menu, stringMapper()); }

void translateDialog(Dialog& dialog, const StringMapper& mapper) {
  dialog.caption = mapper.translate(dialog.caption);
  for (DialogControl& control : dialog.controls)
    if (marked(control.text)) control.text = mapper.translate(control.text);
}

void translateDialog(Dialog& dialog) { translateDialog(dialog, stringMapper()); }

stringT translatePrompt(const stringT& prompt) { return marked(prompt) ? translate(prompt) : prompt; }

const MenuItem* findCommand(const Menu& menu, int command) {
  for (const MenuItem& item : menu) {
    if (item.command == command && item.items.empty() && !item.isSeparator()) return &item;
    if (const MenuItem* found = findCommand(item.items, command)) return found;
  }
  return nullptr;
}
