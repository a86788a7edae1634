// tarnwick-sim: plays the maintenance program's part on a maintenance
// database. Each command is one entry of the command table (main.cpp) and
// lives in its own file cmd_<name>.cpp.
//
// Exit status of every command: 0 done, 1 the database refused or the
// work failed (reported on stderr), 2 wrong usage.
#pragma once

#include <string>
#include <vector>

struct SimCommand {
  const char* name;
  const char* usage;  // arguments after the command name
  const char* help;   // one line
  const char* example;
  int (*run)(const std::vector<std::string>& args);
};

int cmdCreate(const std::vector<std::string>& args);

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
