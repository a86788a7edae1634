// The console's login page, served to a browser without a session: one
// HTML page, its style sheet and its script, all compiled into the program
// and reachable without a session (nothing in them is secret).
//
// The page posts {"password"} to /api/login and reloads on success; it
// shows the server's translated refusal otherwise. Texts come from the
// server, HTML-escaped, in the page's placeholders.
#pragma once

#include <string>
#include <string_view>

#include "ui/console_assets.h"

// The page with its texts filled in (translated and escaped here).
// passwordSet: whether a console password exists; without one the page
// only says how to log in with the printed address.
std::string loginPage(bool passwordSet);
// "login.css" or "login.js"; nullptr for any other name.
const ConsoleAsset* loginAsset(std::string_view name);
