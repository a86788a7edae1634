// orvdb reindex FILE: rebuilds every tag of the table's production index.
// The table is opened exclusively, so no other program uses it meanwhile.
#include <cstdio>

#include "commands.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/index4.h"

int cmdReindex(const Args& args) {
  if (args.size() != 1) {
    fprintf(stderr, "usage: orvdb reindex FILE\n");
    return 2;
  }
  CODE4 c;
  if (code4init(&c) != 0) return 1;
  toolContext(&c);
  c.accessMode = OPEN4DENY_RW;
  DATA4* d = d4open(&c, args[0]);
  if (d == nullptr) return 1;
  int rc = d4reindex(d);
  if (rc == r4unique) fprintf(stderr, "%s: a unique tag has duplicate keys\n", args[0].c_str());
  int crc = d4close(d);
  return rc == 0 && crc == 0 ? 0 : 1;
}
