// Line traffic on an open TCP socket: readLine and sendFormatted.
//
// Both work through process-wide buffers of kLineBufferSize bytes (one for
// receiving, one for sending), shared by every connection, so neither is
// reentrant; the gateway calls them from its one thread.
//
// readLine returns one line, or one piece of a long line:
//   - bytes are taken up to and including the first line feed, or until
//     kMaxLinePiece (1022) bytes are stored; the rest of a longer line comes
//     back in pieces of 1022 bytes on the following calls;
//   - NUL bytes are dropped: neither stored nor counted;
//   - count = bytes stored; -1 when the receive failed or the peer closed
//     the connection; -2 when the time limit ran out before the line was
//     complete (the returned text then holds what arrived so far);
//     kReadInterrupted (-3) when the read interrupt (below) asked to stop.
// The returned view points into the shared receive buffer (NUL-terminated)
// and stays valid until the next readLine on any connection.
//
// Bytes are received in blocks and kept per socket until asked for, which
// changes nothing that a caller can see: the pieces, the NUL dropping, the
// limits and what the next call returns are those of reading one byte at a
// time. discardReadAhead forgets what was kept for a socket; the TCP manager
// calls it when it closes one.
//
// Time limits are measured on the platform clock. Once TLS runs on a socket
// (platform/tls_stream.h), the same calls carry its decrypted stream.
//
// Read interrupt: while a ReadInterruptScope lives, readLine waits for the
// peer in slices of at most kInterruptSliceMs and asks the scope's check
// before each slice; when the check says stop, the read ends with
// kReadInterrupted. A run uses it to hear a stop request or its deadline
// while a server trickles or hangs; the TCP manager's connect and TLS
// handshake hear it too. Scopes nest; the innermost one counts.
//
// Security: nothing received is trusted: every stored byte is counted
// against the buffer, and a peer can make a line at most 1022 bytes long.
// sendFormatted refuses (kSendRefused, nothing sent) a command that would
// not fit the send buffer instead of cutting it short.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

inline constexpr size_t kLineBufferSize = 1024;
inline constexpr int kMaxLinePiece = 1022;
inline constexpr int kReadFailed = -1;
inline constexpr int kReadTimedOut = -2;
inline constexpr int kReadInterrupted = -3;
inline constexpr int64_t kInterruptSliceMs = 200;
// sendFormatted: the formatted command would exceed kLineBufferSize - 1.
inline constexpr int kSendRefused = -1;
// Time limit for sending, in milliseconds, whenever the peer does not
// take bytes.
inline constexpr long kSendTimeLimitMs = 120 * 1000;

std::string_view readLine(int socket, int& count, int seconds);

// Formats into the shared send buffer and sends it. Returns 0 once the
// bytes are handed to the socket (the outcome of the send itself shows up
// in the next reply), or kSendRefused when the text would not fit.
[[nodiscard]] int sendFormatted(int socket, const char* format, ...) __attribute__((format(printf, 2, 3)));

[[nodiscard]] int vsendFormatted(int socket, const char* format, va_list args);

// Sends bytes as they are (message text); the outcome is not examined.
void sendBytes(int socket, std::string_view bytes);

void discardReadAhead(int socket);

// Bytes received from socket and not yet handed out. Starting TLS with any
// waiting would let a peer slip plaintext in front of the encrypted stream.
size_t readAheadBytes(int socket);

// True when the innermost read interrupt asks to stop (false without one).
bool readInterrupted();

// Installs check as the read interrupt for the scope's lifetime.
class ReadInterruptScope {
 public:
  explicit ReadInterruptScope(std::function<bool()> check);
  ~ReadInterruptScope();
  ReadInterruptScope(const ReadInterruptScope&) = delete;
  ReadInterruptScope& operator=(const ReadInterruptScope&) = delete;

 private:
  friend bool readInterrupted();
  std::function<bool()> check_;
  ReadInterruptScope* outer_;
};
