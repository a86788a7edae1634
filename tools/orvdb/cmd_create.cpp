// orvdb create FILE NAME:TYPE[:WIDTH[:DEC]][:null]...: a new empty table
// (FoxPro 2.x, or Visual FoxPro with --vfp). Fixed-width types (D, L, M,
// G, I, B, T, Y) need no width.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "commands.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "tag_args.h"

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) return parts;
    start = p + 1;
  }
}

bool parseNumber(const std::string& s, long max, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = strtol(s.c_str(), &end, 10);
  if (*end != 0 || v < 0 || v > max) return false;
  *out = v;
  return true;
}

// Parses one NAME:TYPE[:WIDTH[:DEC]][:null] argument.
bool parseField(const std::string& arg, std::deque<std::string>* names, FIELD4INFO* out) {
  std::vector<std::string> parts = split(arg, ':');
  if (parts.size() < 2 || parts[1].size() != 1) return false;
  names->push_back(parts[0]);
  *out = FIELD4INFO{names->back().c_str(), parts[1][0], 0, 0, 0};
  if (parts.back() == "null") {
    out->nulls = r4null;
    parts.pop_back();
  }
  long v = 0;
  if (parts.size() > 2) {
    if (!parseNumber(parts[2], 65535, &v)) return false;
    out->len = static_cast<uint16_t>(v);
  }
  if (parts.size() > 3) {
    if (!parseNumber(parts[3], 255, &v)) return false;
    out->dec = static_cast<uint16_t>(v);
  }
  return parts.size() <= 4;
}

}  // namespace

int cmdCreate(const Args& args) {
  CODE4 c;
  if (code4init(&c) != 0) return 1;
  toolContext(&c);
  size_t i = 0;
  long v = 0;
  TagArgs tags;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    if (args[i] == "--tag" && i + 1 < args.size() && parseTagArg(args[i + 1], &tags)) {
      ++i;
    } else if (args[i] == "--vfp") {
      c.fileCompatibility = 30;
    } else if (args[i] == "--block-size" && i + 1 < args.size() && parseNumber(args[i + 1], 65535, &v)) {
      c.memoBlockSize = static_cast<int>(v);
      ++i;
    } else if (args[i] == "--code-page" && i + 1 < args.size() && parseNumber(args[i + 1], 255, &v)) {
      c.codePageMark = static_cast<char>(v);
      ++i;
    } else {
      fprintf(stderr, "orvdb create: unknown option %s\n", args[i].c_str());
      return 2;
    }
  }
  if (args.size() < i + 2) {
    fprintf(stderr, "usage: orvdb create [--vfp] [--block-size N] [--code-page N] [--tag 'NAME|KEY[|FOR[|UNIQUE[|descending]]]'] FILE "
                    "NAME:TYPE[:WIDTH[:DEC]][:null]...\n");
    return 2;
  }
  std::string file = args[i++];
  std::deque<std::string> names;
  std::vector<FIELD4INFO> fields;
  for (; i < args.size(); ++i) {
    FIELD4INFO info;
    if (!parseField(args[i], &names, &info)) {
      fprintf(stderr, "orvdb create: bad field %s\n", args[i].c_str());
      return 2;
    }
    fields.push_back(info);
  }
  fields.push_back(FIELD4INFO{nullptr, 0, 0, 0, 0});
  std::vector<TAG4INFO> tagInfo = tagList(tags);
  DATA4* d = d4create(&c, file, fields.data(), tagInfo.size() > 1 ? tagInfo.data() : nullptr);
  if (d == nullptr) return 1;
  return d4close(d) == 0 ? 0 : 1;
}
