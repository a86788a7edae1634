#include "ui/menus.h"

#include <gtest/gtest.h>

#include "common/string_mapper.h"

namespace {

TEST(Menus, MarkedItemsAreTranslatedAtEveryDepthAndKeepTheirCommands) {
  StringMapper fr;
  fr.setEntry("*&Session", "&Session FR");
  fr.setEntry("*E&xit", "&Quitter");
  fr.setEntry("*&Actions", "&Actions FR");
  fr.setEntry("Plain", "should not change");
  Menu menu = {
      {"*&Session", 0, "", {{"*E&xit", 57665, "*Quit the program", {}}, {"", 0, "", {}}, {"Plain", 7, "", {}}}},
      {"*&Actions", 0, "", {{"*&Untranslated", 32771, "", {}}}},
  };
  translateMenu(menu, fr);
  EXPECT_EQ(menu[0].text.view(), "&Session FR");
  EXPECT_EQ(menu[0].items[0].text.view(), "&Quitter");
  EXPECT_EQ(menu[0].items[0].command, 57665);
  EXPECT_TRUE(menu[0].items[1].isSeparator());
  EXPECT_EQ(menu[0].items[2].text.view(), "Plain");
  EXPECT_EQ(menu[1].items[0].text.view(), "&Untranslated");
  const MenuItem* exit = findCommand(menu, 57665);
  ASSERT_NE(exit, nullptr);
  EXPECT_EQ(exit->text.view(), "&Quitter");
  EXPECT_EQ(findCommand(menu, 0), nullptr);
}

TEST(Menus, DialogCaptionsAreAlwaysTranslatedControlsOnlyWhenMarked) {
  StringMapper fr;
  fr.setEntry("Settings", "Paramètres");
  fr.setEntry("*POP3 Server:", "Serveur POP3 :");
  fr.setEntry("OK", "D'accord");
  Dialog d{7, "Settings", {{1, "*POP3 Server:"}, {2, "OK"}, {3, "*Missing"}}};
  translateDialog(d, fr);
  EXPECT_EQ(d.caption.view(), "Paramètres");
  EXPECT_EQ(d.controls[0].text.view(), "Serveur POP3 :");
  EXPECT_EQ(d.controls[1].text.view(), "OK");
  EXPECT_EQ(d.controls[2].text.view(), "Missing");
}

TEST(Menus, PromptsAreTranslatedWhenMarked) {
  stringMapper().setEntry("*Retrieve e-mail now", "Relever le courrier");
  EXPECT_EQ(translatePrompt("*Retrieve e-mail now").view(), "Relever le courrier");
  EXPECT_EQ(translatePrompt("Retrieve e-mail now").view(), "Retrieve e-mail now");
  stringMapper().clear();
}

}  // namespace
