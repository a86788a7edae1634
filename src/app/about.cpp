#include "app/about.h"

#include "common/string_mapper.h"
#include "common/version.h"

Dialog aboutDialog(const AppValues& values) {
  Dialog about;
  about.id = 100;
  about.caption = translate("*About ") + translate("*Tarnwick @Orvane");
  about.controls = {
      {kAboutVersion, translate("*Version") + " " + programVersion().toString()},
      {kAboutMessages, stringMapper().messagesLine()},
      {kAboutLegal, kLegalCopyright},
      {kAboutDatabase, translate("*Tarnwick Database") + ": " + values.tarnwickDirectory},
  };
  return about;
}
