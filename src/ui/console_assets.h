// The console page compiled into the program: one HTML page, its style
// sheet and its script (plain HTML, CSS and JavaScript under ui/assets/,
// compiled in as they are; no build step of their own).
//
// The page receives the per-process token through a meta element the
// server fills in; everything else it loads from /api.
#pragma once

#include <string_view>

struct ConsoleAsset {
  std::string_view contentType;
  std::string_view body;
};

// The page; "{{TOKEN}}" and "{{TITLE}}" are filled in by the server.
std::string_view consolePage();
// "console.css" or "console.js"; nullptr for any other name.
const ConsoleAsset* consoleAsset(std::string_view name);
