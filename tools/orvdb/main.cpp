// orvdb: the table tool. Usage: orvdb COMMAND ARGS...
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "engine/code4.h"

namespace {

const Command kCommands[] = {
    {"info", "info FILE", cmdInfo},
    {"dump", "dump [--tag NAME] FILE", cmdDump},
    {"create", "create [--vfp] [--block-size N] [--code-page N] [--tag NAME|KEY[|FOR[|UNIQUE[|descending]]]]... FILE NAME:TYPE[:WIDTH[:DEC]][:null]...",
     cmdCreate},
    {"check", "check FILE", cmdCheck},
    {"reindex", "reindex FILE", cmdReindex},
    {"seek", "seek FILE TAG KEY", cmdSeek},
    {"append", "append FILE FIELD=VALUE...", cmdAppend},
    {"set", "set FILE RECNO FIELD=VALUE...", cmdSet},
    {"delete", "delete FILE RECNO", cmdDelete},
    {"recall", "recall FILE RECNO", cmdRecall},
};

int usage() {
  fprintf(stderr, "usage: orvdb COMMAND ARGS...\n");
  for (const Command& c : kCommands) fprintf(stderr, "  orvdb %s\n", c.usage);
  return 2;
}

}  // namespace

void toolContext(CODE4* c) {
  c->lockAttempts = 10;
  c->singleOpen = 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  Args args(argv + 2, argv + argc);
  for (const Command& c : kCommands)
    if (strcmp(argv[1], c.name) == 0) return c.run(args);
  return usage();
}
