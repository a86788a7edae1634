// Opens a data file with its memo file made from the input and reads every
// record, field and memo. Input: 2 bytes (LE) = length of the .dbf part,
// then the .dbf bytes, then the .fpt bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/code4.h"
#include "engine/data4.h"

namespace {

std::string scratch() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/fuzz-dbf-XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return dir;
}

void put(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0) fwrite(data, 1, size, f);
  fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t dbfLen = data[0] | (data[1] << 8);
  data += 2;
  size -= 2;
  if (dbfLen > size) dbfLen = size;
  std::string dbf = scratch() + "/t.dbf";
  put(dbf, data, dbfLen);
  put(scratch() + "/t.fpt", data + dbfLen, size - dbfLen);
  CODE4 c;
  if (code4init(&c) != 0) abort();
  c.errorBoxOff = 1;
  c.autoOpenIndex = 0;
  c.readOnly = 1;
  DATA4* d = d4open(&c, dbf);
  if (d == nullptr) return 0;
  int n = 0;
  for (int rc = d4top(d); rc == 0 && n < 1000; rc = d4skip(d, 1), ++n) {
    for (int i = 1; i <= d4numFields(d); ++i) {
      FIELD4* f = d4fieldJ(d, i);
      (void)f4str(f);
      (void)f4double(f);
      (void)f4long(f);
      (void)f4memoLen(f);
      error4set(&c, 0);
    }
  }
  error4set(&c, 0);
  (void)d4close(d);
  return 0;
}
