#include "common/string.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ostream>
#include <stdexcept>
#include <vector>

// A node is either a leaf (a window onto a shared buffer) or the
// concatenation of two nodes. Nodes never change once made.
struct stringT::Node {
  std::shared_ptr<const std::string> buffer;  // leaf only
  size_t offset = 0;                          // leaf only
  std::shared_ptr<const Node> left, right;    // concatenation only
  size_t length = 0;
  size_t depth = 0;

  bool isLeaf() const { return buffer != nullptr; }
};

namespace {


// Deep concatenation chains are flattened so that walking a rope never
// recurses without bound.
constexpr size_t kMaxDepth = 48;

void checkLength(size_t length) {
  if (length > stringT::kMaxLength) throw std::length_error("rope too long");
}

}  // namespace

stringT::stringT(const char* text) : stringT(std::string(text ? text : "")) {}

stringT::stringT(const char* data, size_t length) : stringT(std::string(data, length)) {}

stringT::stringT(std::string_view text) : stringT(std::string(text)) {}

stringT::stringT(const std::string& text) : stringT(std::string(text)) {}

stringT::stringT(std::string&& text) {
  checkLength(text.size());
  if (text.empty()) return;
  auto node = std::make_shared<Node>();
  node->length = text.size();
  node->buffer = std::make_shared<const std::string>(std::move(text));
  length_ = node->length;
  root_ = std::move(node);
}

stringT::stringT(std::shared_ptr<const Node> node, size_t length)
    : root_(std::move(node)), length_(length) {}

char stringT::operator[](size_t pos) const {
  const Node* node = root_.get();
  while (node && !node->isLeaf()) {
    if (pos < node->left->length) {
      node = node->left.get();
    } else {
      pos -= node->left->length;
      node = node->right.get();
    }
  }
  if (!node || pos >= node->length) return '\0';
  return (*node->buffer)[node->offset + pos];
}

stringT stringT::substr(size_t pos, size_t count) const {
  if (pos >= length_) return stringT();
  if (count > length_ - pos) count = length_ - pos;
  if (count == 0) return stringT();
  if (pos == 0 && count == length_) return *this;
  flatten();
  auto node = std::make_shared<Node>();
  node->buffer = root_->buffer;
  node->offset = root_->offset + pos;
  node->length = count;
  return stringT(std::move(node), count);
}

stringT stringT::right(size_t count) const {
  if (count >= length_) return *this;
  return substr(length_ - count);
}

stringT stringT::operator+(const stringT& other) const {
  if (other.empty()) return *this;
  if (empty()) return other;
  checkLength(length_ + other.length_);
  auto node = std::make_shared<Node>();
  node->left = root_;
  node->right = other.root_;
  node->length = length_ + other.length_;
  node->depth = std::max(root_->depth, other.root_->depth) + 1;
  stringT result(std::move(node), length_ + other.length_);
  if (result.root_->depth > kMaxDepth) result.flatten();
  return result;
}

stringT& stringT::operator+=(const stringT& other) {
  *this = *this + other;
  return *this;
}

void stringT::flatten() const {
  if (!root_ || root_->isLeaf()) return;
  std::string flat;
  flat.reserve(length_);
  // Iterative in-order walk of the leaves.
  std::vector<const Node*> stack{root_.get()};
  while (!stack.empty()) {
    const Node* node = stack.back();
    stack.pop_back();
    if (node->isLeaf()) {
      flat.append(*node->buffer, node->offset, node->length);
    } else {
      stack.push_back(node->right.get());
      stack.push_back(node->left.get());
    }
  }
  auto leaf = std::make_shared<Node>();
  leaf->length = flat.size();
  leaf->buffer = std::make_shared<const std::string>(std::move(flat));
  root_ = std::move(leaf);
}

std::string_view stringT::view() const {
  if (!root_) return {};
  flatten();
  return std::string_view(*root_->buffer).substr(root_->offset, root_->length);
}

const char* stringT::c_str() const {
  if (!root_) return "";
  flatten();
  // A window that ends before its buffer does has no terminator: copy it.
  if (root_->offset + root_->length != root_->buffer->size()) {
    auto leaf = std::make_shared<Node>();
    leaf->length = root_->length;
    leaf->buffer = std::make_shared<const std::string>(*root_->buffer, root_->offset, root_->length);
    root_ = std::move(leaf);
  }
  return root_->buffer->c_str() + root_->offset;
}

size_t stringT::find(std::string_view needle, size_t from) const {
  size_t pos = view().find(needle, from);
  return pos == std::string_view::npos ? npos : pos;
}

size_t stringT::find(char c, size_t from) const {
  size_t pos = view().find(c, from);
  return pos == std::string_view::npos ? npos : pos;
}

bool stringT::startsWith(std::string_view prefix) const { return view().starts_with(prefix); }

bool stringT::endsWith(std::string_view suffix) const { return view().ends_with(suffix); }

stringT stringT::upper() const {
  std::string s(view());
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return stringT(std::move(s));
}

stringT stringT::lower() const {
  std::string s(view());
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return stringT(std::move(s));
}

stringT stringT::trimRight() const {
  std::string_view v = view();
  size_t end = v.size();
  while (end > 0 && v[end - 1] == ' ') --end;
  return substr(0, end);
}

stringT stringT::trim() const {
  std::string_view v = view();
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t begin = 0, end = v.size();
  while (begin < end && isSpace(v[begin])) ++begin;
  while (end > begin && isSpace(v[end - 1])) --end;
  return substr(begin, end - begin);
}

stringT stringT::replaceAll(std::string_view from, std::string_view to) const {
  if (from.empty()) return *this;
  std::string_view v = view();
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = v.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
    out.append(v, pos, hit - pos);
    out.append(to);
  }
  if (pos == 0) return *this;
  out.append(v, pos);
  return stringT(std::move(out));
}

stringT stringT::format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    checkLength(static_cast<size_t>(needed));
    out.resize(static_cast<size_t>(needed));
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  }
  va_end(args);
  return stringT(std::move(out));
}

std::ostream& operator<<(std::ostream& out, const stringT& text) { return out << text.view(); }
