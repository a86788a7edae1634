// orvdb info FILE: header facts, the field list and the index files.
#include <cstdio>
#include <string>

#include "commands.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "platform/file.h"

namespace {

std::string siblingName(const std::string& dataName, const char* ext) {
  size_t slash = dataName.rfind('/');
  size_t dot = dataName.rfind('.');
  std::string base = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                         ? dataName
                         : dataName.substr(0, dot);
  return platformFileSystem().resolveName(base + ext);
}

}  // namespace

int cmdInfo(const Args& args) {
  if (args.size() != 1) {
    fprintf(stderr, "usage: orvdb info FILE\n");
    return 2;
  }
  CODE4 c;
  if (code4init(&c) != 0) return 1;
  toolContext(&c);
  c.autoOpenIndex = 0;
  c.readOnly = 1;
  DATA4* d = d4open(&c, args[0]);
  if (d == nullptr) return 1;
  const DATA4FILE* f = d->dataFile;
  const Dbf4Header& h = f->header;
  printf("file:          %s\n", f->file.name.c_str());
  printf("format:        %s (version byte 0x%02X)\n",
         f->vfp ? "Visual FoxPro" : "FoxPro 2.x", h.version);
  printf("last update:   %02u-%02u-%02u (yy-mm-dd)\n", h.year, h.month, h.day);
  printf("records:       %d\n", d4recCount(d));
  printf("header length: %u\n", h.headerLength);
  printf("record length: %u\n", h.recordLength);
  printf("flags:         0x%02X\n", h.flags);
  printf("code page:     %u\n", h.codePage);
  if (f->hasMemo)
    printf("memo file:     %s (block size %u)\n", f->memo.file.name.c_str(), f->memo.blockSize);
  printf("fields:        %d\n", d4numFields(d));
  for (int i = 1; i <= d4numFields(d); ++i) {
    FIELD4* fld = d4fieldJ(d, i);
    printf("  %-10s %c %5u %2d  offset %u%s\n", f4name(fld), f4type(fld), f4len(fld),
           f4decimals(fld), fld->offset, fld->nullable ? "  nullable" : "");
  }
  if (h.flags & 0x01) {
    std::string cdx = siblingName(f->file.name, ".CDX");
    bool exists = platformFileSystem().exists(cdx);
    printf("index files:   %s (production%s)\n", cdx.c_str(), exists ? "" : ", missing");
  } else {
    printf("index files:   none\n");
  }
  (void)d4close(d);  // nothing was changed through d
  return 0;
}
