// Small helpers for file names inside a database directory ("/" separated).
#pragma once

#include <string>

// The last component has an extension ("logs.dbf", not "logs" or "a.b/logs").
inline bool hasExtension(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// path without its extension.
inline std::string withoutExtension(const std::string& path) {
  return hasExtension(path) ? path.substr(0, path.rfind('.')) : path;
}

// The last component of path.
inline std::string baseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
