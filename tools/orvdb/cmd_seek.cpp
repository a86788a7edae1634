// orvdb seek FILE TAG KEY: seeks KEY as the table layer's seek by text does
// (a number on numeric tags) and prints "CODE RECNO": 0 found, 2 on a
// greater key, 3 end of file (RECNO is then the record count + 1).
#include <cstdio>

#include "commands.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/index4.h"

int cmdSeek(const Args& args) {
  if (args.size() != 3) {
    fprintf(stderr, "usage: orvdb seek FILE TAG KEY\n");
    return 2;
  }
  CODE4 c;
  if (code4init(&c) != 0) return 1;
  toolContext(&c);
  DATA4* d = d4open(&c, args[0]);
  if (d == nullptr) return 1;
  TAG4* t = d4tag(d, args[1].c_str());
  if (t == nullptr) {
    (void)d4close(d);  // nothing was changed through d
    return 1;
  }
  d4tagSelect(d, t);
  int rc = d4seekText(d, args[2].c_str());
  if (rc >= 0) printf("%d %d\n", rc, static_cast<int>(d4recNo(d)));
  (void)d4close(d);  // nothing was changed through d
  return rc >= 0 ? 0 : 1;
}
