// MessageFileReader: splits message-file bytes into lines and lines into
// entries (the format table is in common/string_mapper.h).
//
// Bytes are fed in pieces of any size; lines are cut at the terminator or
// after StringMapper::kMaxLineLength bytes, whichever comes first, so memory
// stays bounded whatever the input. A CR right before the terminator is
// dropped, as a text-mode read would. Each accepted entry goes to the sink.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class MessageFileReader {
 public:
  using Sink = std::function<void(std::string key, std::string text)>;

  MessageFileReader(std::string_view marker, char separator, char terminator, bool raw, Sink sink);

  void feed(std::string_view bytes);
  // Ends the input: a last line without a terminator is ignored.
  void finish();

 private:
  void push(char c);
  void endLine(bool hasTerminator);
  void parseLine(std::string_view line) const;

  std::string marker_;
  char separator_;
  char terminator_;
  bool raw_;
  Sink sink_;
  std::string line_;
  bool pendingCr_ = false;
};

// Resolves the escapes of a message-file key or text: \x + hex digits, \ +
// 1-3 octal digits, \r \n \t, and \ + any other byte.
std::string unescapeMessageText(std::string_view text);
