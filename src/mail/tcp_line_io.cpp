#include "mail/tcp_line_io.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/tls_stream.h"

namespace {

char receiveBuffer[kLineBufferSize];
char sendBuffer[kLineBufferSize];

// Bytes received from a socket and not yet handed out.
struct ReadAhead {
  static constexpr size_t kBlock = 16 * 1024;
  std::vector<char> data = std::vector<char>(kBlock);
  size_t begin = 0;
  size_t end = 0;
};

ReadInterruptScope* innermostInterrupt = nullptr;

std::map<int, ReadAhead>& readAheads() {
  static std::map<int, ReadAhead> map;
  return map;
}

// Refills the read-ahead of socket: 1 when bytes came, kReadFailed or
// kReadTimedOut otherwise.
int refill(int socket, ReadAhead& ahead, int64_t deadline) {
  for (;;) {
    if (readInterrupted()) return kReadInterrupted;
    int64_t left = deadline - platformClock().monotonicMs();
    if (left <= 0) return kReadTimedOut;
    // Without an interrupt to ask, one wait covers the whole limit. A TLS
    // read that times out keeps its state and is simply asked again.
    int64_t slice = innermostInterrupt && left > kInterruptSliceMs ? kInterruptSliceMs : left;
    long n = streamReceive(socket, ahead.data.data(), ahead.data.size(), slice);
    if (n == -ETIMEDOUT) continue;
    if (n <= 0) return kReadFailed;
    ahead.begin = 0;
    ahead.end = static_cast<size_t>(n) <= ahead.data.size() ? static_cast<size_t>(n) : ahead.data.size();
    return 1;
  }
}

}  // namespace

std::string_view readLine(int socket, int& count, int seconds) {
  receiveBuffer[0] = '\0';
  if (socket < 0) {
    count = kReadFailed;
    return std::string_view(receiveBuffer, 0);
  }
  ReadAhead& ahead = readAheads()[socket];
  int64_t deadline = platformClock().monotonicMs() + static_cast<int64_t>(seconds) * 1000;
  int stored = 0;
  count = 0;
  for (;;) {
    if (ahead.begin == ahead.end) {
      int got = refill(socket, ahead, deadline);
      if (got != 1) {
        count = got;
        break;
      }
    }
    char c = ahead.data[ahead.begin++];
    if (c == '\0') continue;
    receiveBuffer[stored++] = c;
    if (c == '\n' || stored == kMaxLinePiece) {
      count = stored;
      break;
    }
  }
  receiveBuffer[stored] = '\0';
  return std::string_view(receiveBuffer, static_cast<size_t>(stored));
}

int sendFormatted(int socket, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = vsendFormatted(socket, format, args);
  va_end(args);
  return rc;
}

int vsendFormatted(int socket, const char* format, va_list args) {
  int needed = std::vsnprintf(sendBuffer, sizeof sendBuffer, format, args);
  if (needed < 0 || static_cast<size_t>(needed) > kLineBufferSize - 1) {
    sendBuffer[0] = '\0';
    return kSendRefused;
  }
  streamSendAll(socket, sendBuffer, static_cast<size_t>(needed), kSendTimeLimitMs);
  return 0;
}

void sendBytes(int socket, std::string_view bytes) {
  streamSendAll(socket, bytes.data(), bytes.size(), kSendTimeLimitMs);
}

void discardReadAhead(int socket) { readAheads().erase(socket); }

size_t readAheadBytes(int socket) {
  auto it = readAheads().find(socket);
  return it == readAheads().end() ? 0 : it->second.end - it->second.begin;
}

ReadInterruptScope::ReadInterruptScope(std::function<bool()> check)
    : check_(std::move(check)), outer_(innermostInterrupt) {
  innermostInterrupt = this;
}

ReadInterruptScope::~ReadInterruptScope() { innermostInterrupt = outer_; }

bool readInterrupted() { return innermostInterrupt && innermostInterrupt->check_ && innermostInterrupt->check_(); }
