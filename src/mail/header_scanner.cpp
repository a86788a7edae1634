#include "mail/header_scanner.h"

namespace {

enum class State { LineStart, SkipLine, Name, BeforeColon, AfterColon, Value };

bool blank(char c) { return c == ' ' || c == '\t'; }

class Scanner {
 public:
  Scanner(std::string_view block, HeaderIndex& index) : in_(block), index_(index) {}

  void run() {
    for (size_t i = 0; i < in_.size(); ++i) step(i);
  }

 private:
  bool endOfLine(size_t& i) const {
    if (in_[i] != '\r' || i + 1 >= in_.size() || in_[i + 1] != '\n') return false;
    ++i;  // the line feed goes with the carriage return
    return true;
  }

  void takeName() {
    name_.assign(in_.substr(nameStart_, nameLength_ < kMaxHeaderName ? nameLength_ : kMaxHeaderName));
    for (char& c : name_)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }

  void store(size_t start, size_t length) {
    auto it = index_.find(name_);
    TextSpan span{static_cast<uint32_t>(start), static_cast<uint32_t>(length)};
    if (it != index_.end())
      it->second = span;
    else if (index_.size() < kMaxHeaderNames)
      index_.emplace(name_, span);
  }

  void step(size_t& i) {
    char c = in_[i];
    switch (state_) {
      case State::LineStart:
        if (blank(c)) {
          valueLength_ = i - valueStart_ + 1;  // this blank included
          state_ = emptyValue_ && seen_ ? State::AfterColon : State::Value;
        } else if (c == ':') {
          state_ = State::SkipLine;
        } else {
          nameStart_ = i;
          nameLength_ = 1;
          seen_ = true;
          emptyValue_ = false;
          state_ = State::Name;
        }
        break;
      case State::SkipLine:
        seen_ = false;
        if (c == '\n') state_ = State::LineStart;
        break;
      case State::Name:
        if (blank(c) || c == ':') {
          takeName();
          state_ = c == ':' ? State::AfterColon : State::BeforeColon;
        } else if (c == '\n') {
          state_ = State::LineStart;
        } else {
          ++nameLength_;
        }
        break;
      case State::BeforeColon:
        if (c == ':')
          state_ = State::AfterColon;
        else if (c == '\n')
          state_ = State::LineStart;
        else if (!blank(c))
          state_ = State::SkipLine;
        break;
      case State::AfterColon:
        if (blank(c)) break;
        if (endOfLine(i)) {
          store(i + 1, 0);
          valueStart_ = i + 1;
          emptyValue_ = true;
          state_ = State::LineStart;
        } else {
          valueStart_ = i;
          valueLength_ = 1;
          emptyValue_ = false;
          state_ = State::Value;
        }
        break;
      case State::Value:
        if (endOfLine(i)) {
          if (seen_) store(valueStart_, valueLength_);
          state_ = State::LineStart;
        } else {
          ++valueLength_;
        }
        break;
    }
  }

  std::string_view in_;
  HeaderIndex& index_;
  State state_ = State::LineStart;
  std::string name_;
  size_t nameStart_ = 0;
  size_t nameLength_ = 0;
  size_t valueStart_ = 0;
  size_t valueLength_ = 0;
  bool seen_ = false;
  bool emptyValue_ = false;
};

}  // namespace

void scanHeaders(std::string_view block, HeaderIndex& index) { Scanner(block, index).run(); }

BoundedHeader boundHeaderSection(std::string_view section) {
  BoundedHeader out;
  size_t fields = 0;
  size_t fieldLength = 0;  // the current field's bytes, line ends left out
  bool skipping = false;   // the rest of the current field is not read
  for (size_t pos = 0; pos < section.size();) {
    size_t newline = section.find('\n', pos);
    size_t next = newline == std::string_view::npos ? section.size() : newline + 1;
    std::string_view line = section.substr(pos, next - pos);
    size_t content = line.size();
    if (content > 0 && line[content - 1] == '\n') --content;
    if (content > 0 && line[content - 1] == '\r') --content;
    pos = next;

    bool continuation = fields > 0 && (line[0] == ' ' || line[0] == '\t');
    if (!continuation) {
      if (++fields > kMaxHeaderFields) {
        out.cut = true;
        break;
      }
      fieldLength = 0;
      skipping = false;
    }
    if (skipping) continue;
    std::string_view piece = line;
    bool lineCut = false;
    if (fieldLength + content > kMaxHeaderField) {
      out.cut = true;
      skipping = true;
      if (fieldLength > 0) continue;  // the field keeps its lines so far
      piece = line.substr(0, kMaxHeaderField);
      lineCut = true;
    }
    fieldLength += content;
    if (out.kept.size() + piece.size() + 2 > kMaxHeaderSection) {
      out.cut = true;
      break;
    }
    out.kept += piece;
    if (lineCut) out.kept += "\r\n";
  }
  if (!out.cut) out.kept.clear();
  return out;
}
