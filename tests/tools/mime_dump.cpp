// Prints readMime's view of each message file named on the command line as
// one JSON object per line, for the corpus check against Python's email
// package (tests/mail/mime_corpus_check.py).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/string_mapper.h"
#include "mail/mime_view.h"
#include "platform/common_files.h"

namespace {

std::string json(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string json(const std::optional<Mailbox>& box) {
  if (!box) return "null";
  return "{\"name\":" + json(box->displayName) + ",\"address\":" + json(box->address) + "}";
}

}  // namespace

// mime_dump [--messages MESSAGE-FILE] MESSAGE...
int main(int argc, char** argv) {
  installPlatformFileAccess();
  int first = 1;
  if (argc > 2 && std::string(argv[1]) == "--messages") {
    if (stringMapper().loadMessages(argv[2]) != 0) {
      std::fprintf(stderr, "mime_dump: cannot read %s\n", argv[2]);
      return 1;
    }
    first = 3;
  }
  for (int i = first; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "mime_dump: cannot read %s\n", argv[i]);
      return 1;
    }
    std::string raw((std::istreambuf_iterator<char>(in)), {});
    MimeView view = readMime(raw);
    std::string line = "{\"file\":" + json(argv[i]) + ",\"subject\":" + json(view.subject) +
                       ",\"from\":" + json(view.from) + ",\"replyTo\":" + json(view.replyTo) +
                       ",\"sender\":" + json(std::optional<Mailbox>(view.sender)) +
                       ",\"returnAddress\":" + json(view.returnAddress) + ",\"to\":[";
    for (size_t k = 0; k < view.to.size(); ++k) line += (k ? "," : "") + json(std::optional<Mailbox>(view.to[k]));
    line += "],\"text\":" + json(view.requestText) + ",\"bodyType\":" + json(view.bodyType) +
            ",\"charset\":" + json(view.bodyCharset) + ",\"fallback\":" + (view.charsetFallback ? "true" : "false") +
            ",\"truncated\":" + (view.truncated ? "true" : "false") + ",\"attachments\":[";
    for (size_t k = 0; k < view.attachments.size(); ++k)
      line += std::string(k ? "," : "") + "{\"name\":" + json(view.attachments[k].name) +
              ",\"size\":" + std::to_string(view.attachments[k].size) + "}";
    line += "]}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return 0;
}
