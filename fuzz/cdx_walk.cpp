// Opens an index file made of the fuzzer's bytes next to a small table,
// walks every tag both ways, seeks in it and checks it. Any damage must
// end in an engine error, never a crash, a hang or an unbounded allocation.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/i4check.h"
#include "engine/index4.h"

namespace {

std::string dir;

void quiet(CODE4*, int, long, const char*, const char*, const char*) {}

// A table with two tags; its index file is what the corpus seeds hold.
void makeTable() {
  char tmpl[] = "/tmp/orv-fuzz-cdx-XXXXXX";
  dir = mkdtemp(tmpl);
  CODE4 c;
  if (code4init(&c) != 0) abort();
  c.errorHook = quiet;
  const FIELD4INFO fields[] = {{"NAME", 'C', 20, 0, 0}, {"KEY", 'N', 10, 0, 0}, {nullptr, 0, 0, 0, 0}};
  const TAG4INFO tags[] = {{"NAME", "UPPER(NAME)", nullptr, 0, 0},
                           {"KEY", "KEY", ".NOT.DELETED()", 25, 0},
                           {nullptr, nullptr, nullptr, 0, 0}};
  DATA4* d = d4create(&c, dir + "/t.dbf", fields, tags);
  if (!d) abort();
  for (int i = 0; i < 300; i++) {
    char name[24];
    snprintf(name, sizeof name, "name %05d", i * 7919 % 1000);
    (void)d4appendStart(d, 0);
    (void)f4assign(d4field(d, "NAME"), name);
    (void)f4assignLong(d4field(d, "KEY"), i % 50);
    (void)d4append(d);
  }
  (void)d4close(d);
  code4initUndo(&c);
  if (getenv("ORV_FUZZ_SEED_OUT")) {
    std::string cmd = "cp " + dir + "/t.cdx " + getenv("ORV_FUZZ_SEED_OUT");
    if (system(cmd.c_str()) != 0) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  makeTable();
  atexit([] { std::filesystem::remove_all(dir); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  std::string cdx = dir + "/t.cdx";
  FILE* f = fopen(cdx.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  CODE4 c;
  if (code4init(&c) != 0) return 0;
  c.errorHook = quiet;
  c.lockAttempts = 1;
  DATA4* d = d4open(&c, dir + "/t.dbf");
  if (d) {
    for (TAG4* t = d4tagNext(d, nullptr); t; t = d4tagNext(d, t)) {
      error4set(&c, 0);
      d4tagSelect(d, t);
      int steps = 0;
      for (int rc = d4top(d); rc == 0 && steps < 5000; rc = d4skip(d, 1)) steps++;
      error4set(&c, 0);
      for (int rc = d4bottom(d); rc == 0 && steps < 10000; rc = d4skip(d, -1)) steps++;
      error4set(&c, 0);
      (void)d4seek(d, "NAME 00500");
      error4set(&c, 0);
    }
    error4set(&c, 0);
    (void)i4check(d, [](const std::string&) {});
    error4set(&c, 0);
    (void)d4close(d);
  }
  code4initUndo(&c);
  return 0;
}
