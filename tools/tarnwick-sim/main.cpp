// tarnwick-sim: creates a sample maintenance database and plays the
// maintenance program's part on it. Usage: tarnwick-sim COMMAND ARGS...
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "common/version.h"
#include "moves.h"

namespace {

const SimCommand kCommands[] = {
    {"create", "DIR [--layout current|2.7|2.5] [--interrupted-archive] [--activity N] [--no-samples]",
     "make a maintenance database with every table the gateway uses", "tarnwick-sim create /tmp/tw", cmdCreate},
    TARNWICK_SIM_MOVES
};

int usage(FILE* out) {
  std::fprintf(out,
               "usage: tarnwick-sim COMMAND ARGS...\n"
               "       tarnwick-sim --help | --version\n\n"
               "Makes a sample maintenance database and plays the maintenance program's part on it.\n\n"
               "commands:\n");
  for (const SimCommand& c : kCommands)
    std::fprintf(out, "  %s %s\n      %s\n      e.g. %s\n", c.name, c.usage, c.help, c.example);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(stderr);
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "help") == 0) {
    usage(stdout);
    return kExitDone;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("tarnwick-sim %s\n", programVersion().toString().c_str());
    return kExitDone;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const SimCommand& c : kCommands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(args);
  std::fprintf(stderr, "tarnwick-sim: unknown command '%s'\n", argv[1]);
  return usage(stderr);
}
