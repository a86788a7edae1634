// Fuzzes smtpDataBytes and envelopeAddressFault: whatever the text, every
// line sent ends in CRLF, none is longer than 998 octets (a stuffed dot not
// counted), and the only line that is a lone dot, however leniently a
// server reads line ends, is the terminator.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mail/envelope_address.h"
#include "mail/smtp_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string out = smtpDataBytes(text);
  if (out.size() < 5 || out.compare(out.size() - 5, 5, "\r\n.\r\n") != 0) __builtin_trap();
  size_t start = 0;
  while (start < out.size()) {
    size_t crlf = out.find("\r\n", start);
    if (crlf == std::string::npos) __builtin_trap();
    std::string_view line(out.data() + start, crlf - start);
    if (line.find_first_of("\r\n") != std::string_view::npos) __builtin_trap();
    size_t stuffed = line.size() >= 2 && line[0] == '.' ? 1 : 0;
    if (line.size() - stuffed > kMaxSmtpLine) __builtin_trap();
    if (line == "." && crlf + 2 != out.size()) __builtin_trap();
    if (!line.empty() && line[0] == '.' && line != "." && (line.size() < 2 || line[1] != '.')) __builtin_trap();
    start = crlf + 2;
  }
  for (size_t i = 0; i + 2 < out.size() - 3; ++i)
    if ((out[i] == '\r' || out[i] == '\n') && out[i + 1] == '.' && (out[i + 2] == '\r' || out[i + 2] == '\n'))
      __builtin_trap();

  stringT address(text);
  int fault = envelopeAddressFault(address);
  if (fault < -1 || fault > static_cast<int>(size)) __builtin_trap();
  if (fault == -1 && (text.find_first_of(" <>\r\n") != std::string_view::npos || text.find('@') == std::string_view::npos))
    __builtin_trap();
  return 0;
}
