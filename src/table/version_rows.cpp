#include "table/version_rows.h"

#include <cstdint>

namespace {
constexpr DBFieldInfo kVersionsFields[] = {
    {"PROGID", 'C', 2, 0},
    {"VERSION", 'C', 15, 0},
    {"CHECK", 'C', 15, 0},
};

constexpr std::string_view kCheckKey = "QvRnTw";

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}
}  // namespace

DBTableLayout versionsLayout() { return {kVersionsFields, {}}; }

const char* versionRowId(int row) {
  static const char* const kIds[kVersionRowsKnown] = {"DB", "TW", "@O"};
  return row >= 0 && row < kVersionRowsKnown ? kIds[row] : nullptr;
}

std::string scrambleCheck(std::string_view text, size_t n) {
  text = trimRight(text);
  std::string out(n, 'Z');
  for (size_t i = 0; i < n && i < text.size(); ++i) {
    char c = text[i];
    out[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  for (size_t i = n; i-- > 0;) out[i] = static_cast<char>(out[i] ^ kCheckKey[i % kCheckKey.size()]);
  return out;
}

bool versionRowValid(int row, std::string_view progId, std::string_view version,
                     std::string_view check) {
  const char* id = versionRowId(row);
  if (id == nullptr || trimRight(progId) != id) return false;
  // The scrambled text never ends in a blank (no character of a version
  // text or "Z" gives one), so trailing blanks of the stored CHECK are
  // padding only.
  return trimRight(check) == trimRight(scrambleCheck(version));
}

std::optional<Version> maintenanceStepVersion(const Version& v, long step) {
  if (step < 0 || static_cast<unsigned long>(step) > UINT32_MAX) return std::nullopt;
  uint64_t build = (uint64_t(v.parts[2]) * 50 + v.parts[3]) * 2;
  if (step != 0) {
    if (build == 0) return std::nullopt;
    build -= 1;
  }
  if (build > UINT32_MAX) return std::nullopt;
  Version out = v;
  out.parts[2] = static_cast<uint32_t>(build);
  out.parts[3] = static_cast<uint32_t>(step);
  return out;
}
