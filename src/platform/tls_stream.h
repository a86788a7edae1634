// TLS client sessions over the sockets of SocketLayer (OpenSSL), and the
// byte stream of a socket whether or not TLS runs on it.
//
// tlsStartClient runs a TLS handshake as a client on an open socket. From
// then on streamReceive and streamSendAll on that handle carry application
// data through the session; on a socket without a session they are plain
// socket reads and writes. tlsEnd sends close_notify (best effort) and drops
// the session; the caller closes the socket afterwards.
//
// The session's raw bytes go through platformSockets() (a BIO of our own),
// so every wait is bounded by the caller's time limit and a test's socket
// layer sees the TLS records.
//
// Verification, in this order:
//   - a pin given (SHA-256 of the server certificate, hex, colons and case
//     ignored): the certificate must have exactly that fingerprint; chain
//     and name are not checked (the operator vouched for this certificate);
//   - no pin: the chain must lead to the system's trust store or to the
//     certificates of caFile, and the certificate must name host (DNS name,
//     or IP address when host is one). SNI carries host unless it is an
//     IP address. TLS 1.2 is the lowest version offered.
// A failure gives the reason in words and the certificate's fingerprint
// (when one was received), so the operator can check it and pin it.
//
// Not thread-safe: sessions are kept per handle for the gateway thread.
//
// Security: nothing is sent through a session before verification passed;
// a failed handshake leaves no session behind, and the caller must not fall
// back to the plain socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct TlsOptions {
  std::string host;    // name the certificate must carry; SNI
  std::string caFile;  // extra trust anchors (PEM), may be empty
  std::string pin;     // SHA-256 fingerprint of the certificate, may be empty
};

struct TlsOutcome {
  std::string reason;       // why the handshake or verification failed
  std::string fingerprint;  // "AB:CD:..." of the server certificate, if seen
  std::string protocol;     // "TLSv1.3" once established
  std::string cipher;
  bool interrupted = false;  // stop said so during the handshake
};

// 0 when the session is established and verified; otherwise -1 with
// out.reason set (the socket is left as it is; close it). The handshake
// takes at most timeoutMs; when stop is given, its waits for the server go
// in slices of at most 200 ms and stop is asked before each: once it says
// true the handshake ends with out.interrupted set.
[[nodiscard]] int tlsStartClient(int handle, const TlsOptions& options, int64_t timeoutMs,
                                 const std::function<bool()>& stop, TlsOutcome& out);
bool tlsActive(int handle);
void tlsEnd(int handle);

// Reads at most capacity bytes, waiting at most timeoutMs: the count (> 0),
// 0 when the peer closed the stream, -ETIMEDOUT, or another -errno.
[[nodiscard]] long streamReceive(int handle, char* buffer, size_t capacity, int64_t timeoutMs);
// Sends all of data: the count sent, or -errno.
long streamSendAll(int handle, const char* data, size_t length, int64_t timeoutMs);

// "AB:CD:..." from any spelling of a SHA-256 fingerprint; empty when text
// does not hold exactly 64 hex digits.
std::string normalizedFingerprint(const std::string& text);
