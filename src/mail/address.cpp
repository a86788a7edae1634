#include "mail/address.h"

#include "mail/mail_message.h"

namespace {

enum class State { Leading, LocalPart, AfterAt, AfterDot, Label };

bool control(char c) { return (c >= 0 && c < 0x20) || c == 0x7F; }

bool refusedInDomain(char c) {
  return std::string_view("!@#$%^&*()~`+=[]{}\\|\"'?/<>,:;").find(c) != std::string_view::npos;
}

}  // namespace

std::pair<stringT, stringT> splitAddress(const stringT& value) {
  size_t open = value.find('<');
  if (open == stringT::npos) return {stringT(), stringT()};
  stringT leading = value.left(open);
  size_t close = value.find('>', open + 1);
  if (close == stringT::npos) return {leading, stringT()};
  return {leading, value.substr(open + 1, close - open - 1)};
}

int validateAddress(const stringT& text, int length) {
  std::string_view in = text.view();
  if (length < 0) length = 0;
  if (static_cast<size_t>(length) > in.size()) length = static_cast<int>(in.size());
  State state = State::Leading;
  for (int i = 0; i < length; ++i) {
    char c = in[static_cast<size_t>(i)];
    if (control(c)) return i;
    switch (state) {
      case State::Leading:
        if (c == '@') return i;
        if (c != ' ') state = State::LocalPart;
        break;
      case State::LocalPart:
        if (c == '@') state = State::AfterAt;
        break;
      case State::AfterAt:
      case State::AfterDot:
        if (c == '.' || c == ' ' || refusedInDomain(c)) return i;
        state = State::Label;
        break;
      case State::Label:
        if (c == '.')
          state = State::AfterDot;
        else if (c == ' ' || refusedInDomain(c))
          return i;
        break;
    }
  }
  return state == State::LocalPart || state == State::Label ? kAddressAccepted : length;
}

stringT returnAddress(const MailMessage& message) {
  stringT value = message.header("reply-to");
  if (value.empty()) value = message.header("from");
  auto [leading, bracketed] = splitAddress(value);
  if (!bracketed.empty()) return bracketed;
  if (!leading.empty()) return leading;
  return value;
}
