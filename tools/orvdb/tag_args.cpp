// Tag definitions on the orvdb create command line:
//   --tag 'NAME|KEY EXPRESSION[|FILTER[|UNIQUE MODE[|descending]]]'
// for example --tag 'KEY|KEY|RECNO()<>1.AND..NOT.DELETED()|25'. The bar
// separates the parts because expressions use ':' and ',' themselves.
#include "tag_args.h"

#include <cstdio>
#include <cstdlib>

bool parseTagArg(const std::string& arg, TagArgs* out) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t bar = arg.find('|', start);
    parts.push_back(arg.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  if (parts.size() < 2 || parts.size() > 5 || parts[0].empty() || parts[1].empty()) return false;
  short unique = 0;
  if (parts.size() > 2 && parts[2].empty()) parts[2].clear();
  if (parts.size() > 3 && !parts[3].empty()) {
    char* end = nullptr;
    unique = static_cast<short>(strtol(parts[3].c_str(), &end, 10));
    if (*end != 0) return false;
  }
  unsigned short descending = 0;
  if (parts.size() > 4) {
    if (parts[4] != "descending") return false;
    descending = 10;
  }
  out->texts.push_back({parts[0], parts[1], parts.size() > 2 ? parts[2] : std::string()});
  out->modes.push_back({unique, descending});
  return true;
}

std::vector<TAG4INFO> tagList(const TagArgs& tags) {
  std::vector<TAG4INFO> list;
  for (size_t i = 0; i < tags.texts.size(); i++) {
    const auto& t = tags.texts[i];
    list.push_back(TAG4INFO{t[0].c_str(), t[1].c_str(), t[2].empty() ? nullptr : t[2].c_str(),
                            tags.modes[i].first, tags.modes[i].second});
  }
  list.push_back(TAG4INFO{nullptr, nullptr, nullptr, 0, 0});
  return list;
}
