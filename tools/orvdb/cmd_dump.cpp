// orvdb dump FILE: every record in record order, as JSON lines. Opens the
// table read-only and without its index.
#include <cstdio>
#include <string>

#include "commands.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "record_json.h"

int cmdDump(const Args& args) {
  if (!args.empty() && args[0] == "--tag") return cmdDumpTag(args);
  if (args.size() != 1) {
    fprintf(stderr, "usage: orvdb dump FILE\n");
    return 2;
  }
  CODE4 c;
  if (code4init(&c) != 0) return 1;
  toolContext(&c);
  c.autoOpenIndex = 0;
  c.readOnly = 1;
  DATA4* d = d4open(&c, args[0]);
  if (d == nullptr) return 1;
  bool ok = dumpTable(d);
  (void)d4close(d);  // nothing was changed through d
  return ok ? 0 : 1;
}
