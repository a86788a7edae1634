#include "app/options.h"

#include <algorithm>

#include "common/string_mapper.h"

namespace {

struct TokenForm {
  unsigned kind = 0;
  std::string_view name;
  std::string_view valueText;  // name:value only
  bool valueList = false;      // "NAME:" form
  bool on = true;
};

TokenForm classify(std::string_view token) {
  TokenForm form;
  if (token.empty()) return form;
  if (token[0] != '/' && token[0] != '-') {
    form.kind = kOptPlain;
    form.name = token;
    return form;
  }
  size_t colon = token.find(':', 1);
  if (colon == token.size() - 1) {
    form.kind = kOptValue;
    form.name = token.substr(1, colon - 1);
    form.valueList = true;
  } else if (colon != std::string_view::npos) {
    form.kind = kOptValue | kOptNameValue;
    form.name = token.substr(1, colon - 1);
    form.valueText = token.substr(colon + 1);
  } else if (token.size() > 1 && token.back() == '-') {
    form.kind = kOptSwitchOff;
    form.name = token.substr(1, token.size() - 2);
    form.on = false;
  } else if (token.size() > 1 && token.back() == '+') {
    form.kind = kOptSwitchOn;
    form.name = token.substr(1, token.size() - 2);
  } else {
    form.kind = kOptSwitchOn;
    form.name = token.substr(1);
  }
  return form;
}

bool isOptional(char c) { return (c >= 'a' && c <= 'z') || c == '_'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::vector<stringT> splitValues(std::string_view text) {
  std::vector<stringT> values;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    values.emplace_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return values;
    start = comma + 1;
  }
}

bool startsLikeOption(const stringT& token) { return !token.empty() && (token[0] == '/' || token[0] == '-'); }

}  // namespace

long optionNameScore(std::string_view definitionName, std::string_view given) {
  const size_t n = definitionName.size(), m = given.size();
  if (m > n) return 0;
  // reach[j]: the first i definition characters can consume exactly j given
  // characters. Every given character is consumed by exactly one
  // definition character, so the score of any match is the same.
  std::vector<char> reach(m + 1, 0), next(m + 1, 0);
  reach[0] = 1;
  long required = 0;
  for (size_t i = 0; i < n; ++i) {
    char d = definitionName[i];
    bool optional = isOptional(d);
    if (!optional) ++required;
    std::fill(next.begin(), next.end(), 0);
    for (size_t j = 0; j <= m; ++j) {
      if (!reach[j]) continue;
      if (optional) next[j] = 1;
      if (j < m && upper(given[j]) == upper(d)) next[j + 1] = 1;
    }
    reach.swap(next);
  }
  if (!reach[m]) return 0;
  return required * 1024 + static_cast<long>(m) - required;
}

OptionDefinition defineOption(const stringT& name, unsigned kind, int slot, const stringT& help) {
  OptionDefinition d;
  d.kind = kind;
  d.slot = slot;
  d.help = help;
  d.name = name;
  d.display = (kind & kOptPlain) ? name : stringT("/") + name;
  if (kind & kOptSwitch) d.display += "+/-";
  if (kind & kOptValue) d.display += ":";
  return d;
}

std::vector<stringT> tokenizeCommandLine(std::string_view text) {
  std::vector<stringT> tokens;
  size_t i = 0;
  for (;;) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) return tokens;
    std::string token;
    bool quoted = false;
    for (; i < text.size(); ++i) {
      char c = text[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '"') {
        quoted = !quoted;
      } else if (quoted && c == '\\' && i + 1 < text.size() && text[i + 1] == '"') {
        token += '"';
        ++i;
      } else {
        token += c;
      }
    }
    tokens.emplace_back(std::move(token));
  }
}

ParseResult parseOptions(const std::vector<stringT>& tokens, const std::vector<OptionDefinition>& definitions,
                         int slotCount) {
  ParseResult result;
  result.tokens = tokens;
  result.slotOfToken.assign(tokens.size(), -1);
  result.slots.resize(static_cast<size_t>(std::max(slotCount, 0)));
  for (size_t t = 1; t < tokens.size(); ++t) {
    TokenForm form = classify(tokens[t].view());
    size_t lastValueToken = t;
    if (form.valueList) {
      // The next token is the value; more follow until an option-like token.
      while (lastValueToken + 1 < tokens.size() &&
             (lastValueToken == t || !startsLikeOption(tokens[lastValueToken + 1])))
        ++lastValueToken;
    }
    const OptionDefinition* best = nullptr;
    long bestScore = 0;
    for (const OptionDefinition& d : definitions) {
      if ((d.kind & form.kind) == 0) continue;
      long score = optionNameScore(d.name.view(), form.name);
      if (score > bestScore) {
        best = &d;
        bestScore = score;
      }
    }
    if (best && best->slot >= 0 && best->slot < slotCount && result.slots[best->slot] &&
        (best->kind & kOptRepeatable) && !form.valueList && (form.kind & kOptNameValue)) {
      result.slots[best->slot]->repeats.emplace_back(form.valueText);
      result.slotOfToken[t] = best->slot;
    } else if (best && best->slot >= 0 && best->slot < slotCount && !result.slots[best->slot]) {
      OptionResult r;
      r.token = t;
      r.on = form.on;
      if (form.valueList) {
        for (size_t v = t + 1; v <= lastValueToken; ++v) r.values.push_back(tokens[v]);
        if (r.values.empty()) r.values.emplace_back();
        r.text = r.values.front();
      } else if (form.kind & kOptNameValue) {
        r.values = splitValues(form.valueText);
        r.text = stringT(form.valueText);
      }
      if (best->kind & kOptRepeatable) r.repeats.push_back(r.text);
      result.slots[best->slot] = std::move(r);
      for (size_t v = t; v <= lastValueToken; ++v) result.slotOfToken[v] = best->slot;
    }
    t = lastValueToken;
  }
  return result;
}

bool ParseResult::given(int slot) const {
  return slot >= 0 && static_cast<size_t>(slot) < slots.size() && slots[slot].has_value();
}

std::optional<stringT> ParseResult::value(int slot) const {
  if (!given(slot) || slots[slot]->values.empty()) return std::nullopt;
  return slots[slot]->values.front();
}

std::optional<size_t> ParseResult::firstUnmatched() const {
  for (size_t t = 1; t < slotOfToken.size(); ++t)
    if (slotOfToken[t] < 0) return t;
  return std::nullopt;
}

stringT usageText(const std::vector<OptionDefinition>& definitions) { return usageText(definitions, stringT()); }

stringT usageText(const std::vector<OptionDefinition>& definitions, const stringT& programName) {
  int width = 0;
  for (const OptionDefinition& d : definitions) width = std::max(width, static_cast<int>(d.display.size()));
  stringT text;
  if (!programName.empty()) text = stringT::format("%s: %s", translate("*Usage").c_str(), programName.c_str());
  text += stringT(" ") + translate("*[options]") + "\n" + translate("*options") + ":\n";
  for (const OptionDefinition& d : definitions)
    text += stringT::format("%s%-*s -- %s\n", " ", width, d.display.c_str(), d.help.c_str());
  return text;
}
