#include "mail/encoded_words.h"

#include "common/base64.h"
#include "mail/transfer_decoding.h"

namespace {

enum class State { Plain, Opened, Charset, Encoding, Text, Closing };
enum class Coding { None, Base64, QuotedPrintable };

bool control(char c) { return (c >= 0 && c < 0x20) || c == 0x7F; }

bool especial(char c) { return std::string_view(" ()<>@,;:/[]?.=\"").find(c) != std::string_view::npos; }

}  // namespace

std::string decodeEncodedWords(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  std::string raw;
  std::string encoding;
  std::string encoded;
  Coding coding = Coding::None;
  State state = State::Plain;

  auto abandon = [&] {
    out += raw;
    raw.clear();
    state = State::Plain;
  };

  for (char c : value) {
    if (state == State::Plain) {
      if (c == '=') {
        raw.assign(1, '=');
        state = State::Opened;
      } else {
        out += c;
      }
      continue;
    }
    raw += c;
    switch (state) {
      case State::Plain:
        break;
      case State::Opened:
        if (c == '?') {
          encoding.clear();
          encoded.clear();
          state = State::Charset;
        } else {
          abandon();
        }
        break;
      case State::Charset:
        if (c == '?')
          state = State::Encoding;
        else if (especial(c) || control(c))
          abandon();
        break;
      case State::Encoding:
        if (c == '?') {
          coding = encoding == "B" || encoding == "b"   ? Coding::Base64
                   : encoding == "Q" || encoding == "q" ? Coding::QuotedPrintable
                                                        : Coding::None;
          state = State::Text;
        } else if (especial(c) || control(c)) {
          abandon();
        } else {
          encoding += c;
        }
        break;
      case State::Text:
        if (c == '?')
          state = State::Closing;
        else if (control(c) || c == ' ')
          abandon();
        else
          encoded += coding == Coding::QuotedPrintable && c == '_' ? ' ' : c;
        break;
      case State::Closing:
        if (c == '=') {
          if (coding == Coding::Base64)
            out += base64Decode(encoded);
          else if (coding == Coding::QuotedPrintable)
            out += decodeQuotedPrintable(encoded);
          else
            out += raw;
          raw.clear();
          state = State::Plain;
        } else {
          abandon();
        }
        break;
    }
  }
  out += raw;  // an unfinished word, as typed
  return out;
}
