// What the process knows about itself: its environment variables, its id,
// the path of its executable.
#pragma once

#include <string>

// The value of the environment variable name; "" when it is not set.
std::string environmentVariable(const char* name);
// The id of this process.
long processId();
// The absolute path of the running executable; "" when the system cannot
// tell (no /proc).
std::string executablePath();
