// orvdb dump --tag NAME FILE: the records a tag holds, in the tag's order,
// as the JSON lines of orvdb dump.
#include <cstdio>
#include <string>

#include "commands.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/index4.h"
#include "record_json.h"

int cmdDumpTag(const Args& args) {
  if (args.size() != 3 || args[0] != "--tag") {
    fprintf(stderr, "usage: orvdb dump --tag NAME FILE\n");
    return 2;
  }
  CODE4 c;
  if (code4init(&c) != 0) return 1;
  toolContext(&c);
  DATA4* d = d4open(&c, args[2]);
  if (d == nullptr) return 1;
  TAG4* tag = d4tag(d, args[1].c_str());
  if (tag == nullptr) {
    (void)d4close(d);  // nothing was changed through d
    return 1;
  }
  d4tagSelect(d, tag);
  bool ok = dumpTable(d);
  (void)d4close(d);  // nothing was changed through d
  return ok ? 0 : 1;
}
