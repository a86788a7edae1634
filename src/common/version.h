// Version: four unsigned numbers compared from the left, written
// "%u.%u.%u.%u" (program version, settings stamps 204 to 206, the
// Versions table rows).
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/string.h"

struct Version {
  std::array<uint32_t, 4> parts{};

  // Reads "a.b.c.d" (blanks around the whole text allowed). Nothing else
  // is accepted: a missing part, a part past 4294967295 or trailing text
  // gives no version.
  static std::optional<Version> parse(std::string_view text);

  stringT toString() const;

  auto operator<=>(const Version&) const = default;
};

// The program's own version (from the build).
Version programVersion();
