// The console page, its style sheet and its script (console_assets.h),
// kept as files under ui/assets/ and compiled in by the build.
#include "ui/console_assets.h"

std::string_view embeddedConsoleHtml();
std::string_view embeddedConsoleCss();
std::string_view embeddedConsoleJs();

std::string_view consolePage() { return embeddedConsoleHtml(); }

const ConsoleAsset* consoleAsset(std::string_view name) {
  static const ConsoleAsset style{"text/css; charset=utf-8", embeddedConsoleCss()};
  static const ConsoleAsset script{"text/javascript; charset=utf-8", embeddedConsoleJs()};
  if (name == "console.css") return &style;
  if (name == "console.js") return &script;
  return nullptr;
}
