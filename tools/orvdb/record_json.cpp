#include "record_json.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "engine/code4.h"
#include "engine/coding4.h"
#include "engine/data4.h"
#include "json_out.h"

namespace {

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view trimBoth(std::string_view s) {
  s = trimRight(s);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// The text of one field as the dump shows it; false when a memo failed.
bool fieldText(FIELD4* f, std::string* out) {
  std::string_view raw(f4ptr(f), f4len(f));
  auto bytes = coding4::bytes(raw.data(), raw.size());
  char buf[64];
  switch (f->type) {
    case 'N': case 'F': case 'D': case 'L':
      out->assign(trimBoth(raw));
      return true;
    case 'M': case 'G': {
      const char* p = f4memoPtr(f);
      if (error4code(f->data->codeBase) < 0) return false;
      out->assign(p, f4memoLen(f));
      return true;
    }
    case 'I': {
      int32_t v = 0;
      coding4::getLe(bytes, 0, &v);
      out->assign(std::to_string(v));
      return true;
    }
    case 'B':
      out->assign(pythonFloatRepr(f4double(f)));
      return true;
    case 'Y': {
      int64_t v = 0;
      coding4::getLe(bytes, 0, &v);
      out->assign(std::to_string(v));
      return true;
    }
    case 'T': {
      int32_t day = 0, ms = 0;
      coding4::getLe(bytes, 0, &day);
      coding4::getLe(bytes, 4, &ms);
      snprintf(buf, sizeof buf, "%d %d", day, ms);
      out->assign(buf);
      return true;
    }
    default:
      out->assign(trimRight(raw));
      return true;
  }
}

}  // namespace

std::string dumpHeaderLine(DATA4* d) {
  const DATA4FILE* f = d->dataFile;
  std::string line = "{\"version\": " + std::to_string(f->header.version) +
                     ", \"records\": " + std::to_string(d4recCount(d)) +
                     ", \"header_length\": " + std::to_string(f->header.headerLength) +
                     ", \"record_length\": " + std::to_string(f->header.recordLength) +
                     ", \"fields\": [";
  for (int i = 1; i <= d4numFields(d); ++i) {
    FIELD4* fld = d4fieldJ(d, i);
    if (i > 1) line += ", ";
    line += "[";
    jsonString(&line, f4name(fld));
    line += ", ";
    jsonString(&line, std::string(1, fld->type));
    line += ", " + std::to_string(f4len(fld)) + ", " + std::to_string(f4decimals(fld)) + "]";
  }
  line += "]}";
  return line;
}

bool dumpRecordLine(DATA4* d, std::string* line) {
  *line = "{\"recno\": " + std::to_string(d4recNo(d)) +
          ", \"deleted\": " + (d4deleted(d) ? "true" : "false") + ", \"fields\": [";
  std::string text;
  for (int i = 1; i <= d4numFields(d); ++i) {
    if (!fieldText(d4fieldJ(d, i), &text)) return false;
    if (i > 1) *line += ", ";
    jsonString(line, text);
  }
  *line += "]}";
  return true;
}

bool dumpTable(DATA4* d) {
  std::string out = dumpHeaderLine(d);
  out += '\n';
  std::string line;
  int rc = d4top(d);
  for (; rc == 0; rc = d4skip(d, 1)) {
    if (!dumpRecordLine(d, &line)) {
      rc = -1;
      break;
    }
    out += line;
    out += '\n';
    if (out.size() > (1 << 20)) {
      fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  fwrite(out.data(), 1, out.size(), stdout);
  return rc == r4eof && error4code(d->codeBase) >= 0;
}
