#include "platform/mount_info.h"

namespace {

constexpr unsigned long kCifsMagic = 0xFF534D42UL;
constexpr unsigned long kSmb2Magic = 0xFE534D42UL;
constexpr unsigned long kSmbMagic = 0x517BUL;

// "\040" and the other three-digit octal escapes of mountinfo fields.
std::string unescape(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); i++) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
        field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::string_view> splitSpaces(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') i++;
    size_t start = i;
    while (i < line.size() && line[i] != ' ') i++;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool contains(const std::string& path, const std::string& mountPoint) {
  if (mountPoint == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::vector<std::string_view> f = splitSpaces(text.substr(start, end - start));
    start = end + 1;
    // id parent major:minor root mount-point options [optional...] - type source super-options
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") dash++;
    if (f.size() < 6 || dash + 1 >= f.size()) continue;  // no file-system type
    MountEntry e;
    e.mountPoint = unescape(f[4]);
    e.fsType = unescape(f[dash + 1]);
    e.source = dash + 2 < f.size() ? unescape(f[dash + 2]) : std::string();
    e.options = unescape(f[5]);
    if (dash + 3 < f.size()) e.options += "," + unescape(f[dash + 3]);
    entries.push_back(std::move(e));
  }
  return entries;
}

const MountEntry* mountFor(const std::vector<MountEntry>& entries, const std::string& path) {
  const MountEntry* best = nullptr;
  // The last of equally long mount points is the one mounted on top.
  for (const MountEntry& e : entries)
    if (contains(path, e.mountPoint) && (best == nullptr || e.mountPoint.size() >= best->mountPoint.size()))
      best = &e;
  return best;
}

bool isSmbMagic(unsigned long fsType) {
  fsType &= 0xFFFFFFFFUL;
  return fsType == kCifsMagic || fsType == kSmb2Magic || fsType == kSmbMagic;
}

void applyMountOptions(const std::string& options, MountInfo* info) {
  info->options = options;
  size_t start = 0;
  while (start <= options.size()) {
    size_t comma = options.find(',', start);
    if (comma == std::string::npos) comma = options.size();
    std::string_view o(options.data() + start, comma - start);
    if (o == "nobrl") info->noByteRangeLocks = true;
    if (o == "cache=loose") info->looseCache = true;
    start = comma + 1;
  }
}
