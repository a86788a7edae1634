// stringT: the program's text type.
//
// A reference-counted rope. Copies, concatenations and substrings share the
// underlying bytes instead of copying them; a text is flattened into one
// buffer only when a caller needs contiguous bytes (view(), c_str(), str()).
// Texts are byte strings (mail and tables are Latin-1 or raw bytes) and may
// hold NUL bytes.
//
// Length limit: a text longer than kMaxLength throws std::length_error with
// the message "rope too long".
//
// Thread-safety: a stringT object is not safe to use from two threads at
// once (flattening caches into the object); distinct objects sharing
// storage are, since shared nodes are immutable.
#pragma once

#include <compare>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class stringT {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);
  static constexpr size_t kMaxLength = size_t(1) << 30;

  stringT() = default;
  stringT(const char* text);  // NOLINT: implicit on purpose, like std::string
  stringT(const char* data, size_t length);
  stringT(std::string_view text);  // NOLINT
  stringT(const std::string& text);  // NOLINT
  stringT(std::string&& text);  // NOLINT

  size_t length() const { return length_; }
  size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }

  // Byte at pos; pos must be below length().
  char operator[](size_t pos) const;
  char at(size_t pos) const { return (*this)[pos]; }

  // Shares storage with this text. pos past the end gives an empty text.
  stringT substr(size_t pos, size_t count = npos) const;
  stringT left(size_t count) const { return substr(0, count); }
  stringT right(size_t count) const;

  stringT operator+(const stringT& other) const;
  stringT& operator+=(const stringT& other);

  // Contiguous views. view() stays valid while this object lives and is not
  // modified; c_str() is NUL-terminated.
  std::string_view view() const;
  const char* c_str() const;
  std::string str() const { return std::string(view()); }

  size_t find(std::string_view needle, size_t from = 0) const;
  size_t find(char c, size_t from = 0) const;
  bool startsWith(std::string_view prefix) const;
  bool endsWith(std::string_view suffix) const;

  // ASCII-only case changes (locale independent).
  stringT upper() const;
  stringT lower() const;
  stringT trimRight() const;  // removes trailing blanks (space)
  stringT trim() const;       // removes leading and trailing white space

  // Every occurrence of from replaced by to.
  stringT replaceAll(std::string_view from, std::string_view to) const;

  // printf-style formatting.
  static stringT format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

  bool operator==(const stringT& other) const { return view() == other.view(); }
  bool operator==(const char* other) const { return view() == std::string_view(other); }
  std::strong_ordering operator<=>(const stringT& other) const {
    return view().compare(other.view()) <=> 0;
  }

 // Rope node; an implementation detail, public only for the .cpp helpers.
  struct Node;

 private:
  explicit stringT(std::shared_ptr<const Node> node, size_t length);
  void flatten() const;

  mutable std::shared_ptr<const Node> root_;
  size_t length_ = 0;
};

std::ostream& operator<<(std::ostream& out, const stringT& text);

// "text" + s, as s + "text" already reads.
inline stringT operator+(const char* left, const stringT& right) { return stringT(left) + right; }
