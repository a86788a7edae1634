// orvdb: the table tool. Usage: orvdb COMMAND ARGS...
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "common/version.h"
#include "engine/code4.h"

namespace {

const Command kCommands[] = {
    {"info", "info FILE", "orvdb info logs.dbf", cmdInfo},
    {"dump", "dump [--tag NAME] FILE", "orvdb dump --tag KEY logs.dbf", cmdDump},
    {"create", "create [--vfp] [--block-size N] [--code-page N] [--tag NAME|KEY[|FOR[|UNIQUE[|descending]]]]... FILE NAME:TYPE[:WIDTH[:DEC]][:null]...",
     "orvdb create --tag 'KEY|KEY' notes.dbf KEY:N:10 TEXT:C:40 BODY:M", cmdCreate},
    {"check", "check FILE", "orvdb check logs.dbf", cmdCheck},
    {"reindex", "reindex FILE", "orvdb reindex logs.dbf", cmdReindex},
    {"seek", "seek FILE TAG KEY", "orvdb seek contacts.dbf KEY 3", cmdSeek},
    {"append", "append FILE FIELD=VALUE...", "orvdb append notes.dbf KEY=1 TEXT=hello", cmdAppend},
    {"set", "set FILE RECNO FIELD=VALUE...", "orvdb set notes.dbf 2 TEXT=changed", cmdSet},
    {"delete", "delete FILE RECNO", "orvdb delete notes.dbf 2", cmdDelete},
    {"recall", "recall FILE RECNO", "orvdb recall notes.dbf 2", cmdRecall},
};

void usage(FILE* out) {
  fprintf(out, "usage: orvdb COMMAND ARGS...\n"
               "       orvdb --help | --version\n\n"
               "Reads and writes FoxPro tables (.dbf with their .cdx and .fpt files).\n\n"
               "commands:\n");
  for (const Command& c : kCommands) fprintf(out, "  orvdb %s\n      e.g. %s\n", c.usage, c.example);
}

int badUsage() {
  usage(stderr);
  return 2;
}

}  // namespace

void toolContext(CODE4* c) {
  c->lockAttempts = 10;
  c->singleOpen = 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return badUsage();
  if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "help") == 0) {
    usage(stdout);
    return 0;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printf("orvdb %s\n", programVersion().toString().c_str());
    return 0;
  }
  Args args(argv + 2, argv + argc);
  for (const Command& c : kCommands)
    if (strcmp(argv[1], c.name) == 0) return c.run(args);
  fprintf(stderr, "orvdb: unknown command '%s'\n", argv[1]);
  return badUsage();
}
