// Fuzzes the message-file reader: any bytes, fed whole and in two pieces,
// must give the same map without reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/message_file.h"
#include "common/string_mapper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  bool raw = size > 0 && (data[0] & 1);
  std::vector<std::pair<std::string, std::string>> whole, split;
  auto collect = [](auto& into) {
    return [&into](std::string k, std::string t) { into.emplace_back(std::move(k), std::move(t)); };
  };
  MessageFileReader a(kMessageMarker, ',', '\n', raw, collect(whole));
  a.feed(bytes);
  a.finish();
  MessageFileReader b(kMessageMarker, ',', '\n', raw, collect(split));
  size_t cut = size / 2;
  b.feed(bytes.substr(0, cut));
  b.feed(bytes.substr(cut));
  b.finish();
  if (whole != split) __builtin_trap();
  for (const auto& [key, text] : whole)
    if (key.empty() || text.empty() || key.size() >= StringMapper::kMaxLineLength) __builtin_trap();

  StringMapper mapper;
  mapper.loadMessagesFromText(bytes, kMessageMarker, ',', '\n', raw);
  for (const auto& [key, text] : whole) (void)mapper.translate(stringT(key));
  (void)mapper.messagesLine();
  return 0;
}
