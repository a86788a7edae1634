// Writes to a damaged table: a .dbf, its production .cdx and its .fpt made
// from the input are opened, appended to, updated and deleted from, then
// sought, checked and reindexed. Damage must end in an engine error, never
// a crash, a sanitizer report, a hang or an unbounded allocation.
//
// Input: 4 bytes (LE) = length of the .dbf part, 4 bytes (LE) = length of
// the .cdx part, then the .dbf bytes, the .cdx bytes and the .fpt bytes.
// Seeds: ORV_FUZZ_SEED_OUT=DIR writes one made from a fresh table there.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/field4.h"
#include "engine/i4check.h"
#include "engine/index4.h"

namespace {

std::string dir;

void quiet(CODE4*, int, long, const char*, const char*, const char*) {}

void put(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

std::vector<uint8_t> slurp(const std::string& path) {
  std::vector<uint8_t> out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  int c;
  while ((c = fgetc(f)) != EOF) out.push_back(uint8_t(c));
  fclose(f);
  return out;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// A seed: a table with a memo field and three tags, in the input's form.
void writeSeed(const char* out) {
  CODE4 c;
  if (code4init(&c) != 0) abort();
  c.errorHook = quiet;
  const FIELD4INFO fields[] = {
      {"NAME", 'C', 16, 0, 0}, {"KEY", 'N', 8, 0, 0}, {"NOTES", 'M', 10, 0, 0}, {nullptr, 0, 0, 0, 0}};
  const TAG4INFO tags[] = {{"NAME", "UPPER(NAME)", nullptr, 0, 0},
                           {"KEY", "KEY", ".NOT.DELETED()", 20, 0},
                           {"WHEN", "STR(KEY,8)+NAME", nullptr, 0, 10},
                           {nullptr, nullptr, nullptr, 0, 0}};
  DATA4* d = d4create(&c, dir + "/seed.dbf", fields, tags);
  if (!d) abort();
  for (int i = 0; i < 120; i++) {
    char name[24];
    snprintf(name, sizeof name, "name %05d", i * 7919 % 1000);
    if (d4appendStart(d, 0) || f4assign(d4field(d, "NAME"), name) || f4assignLong(d4field(d, "KEY"), i) ||
        f4memoAssign(d4field(d, "NOTES"), std::string(size_t(i % 7) * 90, 'm').c_str()) || d4append(d))
      abort();
  }
  if (d4close(d) != 0) abort();
  code4initUndo(&c);
  std::vector<uint8_t> dbf = slurp(dir + "/seed.dbf"), cdx = slurp(dir + "/seed.cdx"),
                       fpt = slurp(dir + "/seed.fpt");
  std::vector<uint8_t> all(8);
  for (int i = 0; i < 4; i++) {
    all[size_t(i)] = uint8_t(dbf.size() >> (8 * i));
    all[size_t(4 + i)] = uint8_t(cdx.size() >> (8 * i));
  }
  all.insert(all.end(), dbf.begin(), dbf.end());
  all.insert(all.end(), cdx.begin(), cdx.end());
  all.insert(all.end(), fpt.begin(), fpt.end());
  put(std::string(out) + "/seed-table", all.data(), all.size());
}

// Steps that change the table, each allowed to fail; an error is cleared
// so that the next step runs.
void exercise(CODE4* c, DATA4* d) {
  auto step = [c](int) { error4set(c, 0); };
  FIELD4* first = d4fieldJ(d, 1);
  for (int i = 0; i < 30; i++) {
    if (d4appendStart(d, 0) == 0) {
      if (first) (void)f4assign(first, ("fuzz " + std::to_string(i)).c_str());
      step(d4append(d));
    }
    step(0);
  }
  int32_t count = d4recCount(d);
  for (int32_t r = 1; r <= count && r <= 40; r += 3) {
    if (d4go(d, r) != 0) {
      step(0);
      continue;
    }
    if (first) (void)f4assign(first, ("upd " + std::to_string(r)).c_str());
    for (int j = 1; j <= d4numFields(d); j++) {
      FIELD4* f = d4fieldJ(d, j);
      if (f && f4type(f) == 'M') (void)f4memoAssign(f, std::string(size_t(r) * 13 % 900, 'u').c_str());
    }
    if (r % 2) (void)d4delete(d);
    step(d4write(d, r));
  }
  for (TAG4* t = d4tagNext(d, nullptr); t; t = d4tagNext(d, t)) {
    d4tagSelect(d, t);
    step(d4seek(d, "upd 4"));
    step(d4top(d));
    int steps = 0;
    while (d4skip(d, 1) == 0 && steps < 2000) steps++;
    step(0);
  }
  step(d4flush(d));
  (void)i4check(d, [](const std::string&) {});
  step(0);
  step(d4reindex(d));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/orv-fuzz-write-XXXXXX";
  dir = mkdtemp(tmpl);
  atexit([] { std::filesystem::remove_all(dir); });
  if (const char* out = getenv("ORV_FUZZ_SEED_OUT")) writeSeed(out);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > (1 << 20)) return 0;
  size_t dbfLen = le32(data), cdxLen = le32(data + 4);
  data += 8;
  size -= 8;
  if (dbfLen > size) dbfLen = size;
  if (cdxLen > size - dbfLen) cdxLen = size - dbfLen;
  put(dir + "/t.dbf", data, dbfLen);
  put(dir + "/t.cdx", data + dbfLen, cdxLen);
  put(dir + "/t.fpt", data + dbfLen + cdxLen, size - dbfLen - cdxLen);
  CODE4 c;
  if (code4init(&c) != 0) return 0;
  c.errorHook = quiet;
  c.lockAttempts = 1;
  DATA4* d = d4open(&c, dir + "/t.dbf");
  if (d) {
    exercise(&c, d);
    error4set(&c, 0);
    (void)d4close(d);  // the file is damaged: whatever the close says is allowed
  }
  code4initUndo(&c);
  return 0;
}
