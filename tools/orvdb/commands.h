// orvdb subcommands. Each takes the arguments after its name and returns
// the exit status: 0 done, 1 failed (the engine's report is on stderr),
// 2 bad usage.
#pragma once

#include <string>
#include <vector>

struct CODE4;

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;
  const char* example;
  int (*run)(const Args& args);
};

int cmdInfo(const Args& args);
int cmdDump(const Args& args);
int cmdCreate(const Args& args);
// Index commands (cmd_dumptag, cmd_check, cmd_seek, cmd_reindex, cmd_modify).
int cmdDumpTag(const Args& args);
int cmdCheck(const Args& args);
int cmdSeek(const Args& args);
int cmdReindex(const Args& args);
int cmdAppend(const Args& args);
int cmdSet(const Args& args);
int cmdDelete(const Args& args);
int cmdRecall(const Args& args);

// Sets up c for a tool run: errors reported on stderr, locks given up
// after ten tries as the gateway does.
void toolContext(CODE4* c);
