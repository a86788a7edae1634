// TCPManager: the one TCP client connection that the POP3 and SMTP
// managers run on.
//
// States:
//
//   not initialized --(every connect)--> status 1 "*not initialized"
//
//   initialized:   closed (socket -1) --connect ok--> connected
//                     ^                                  |
//                     +---- disconnect / failed connect / destruction
//
// connect resolves the host (a text starting with a digit is a dotted
// address, which must also have a reverse entry), looks up the TCP
// protocol, opens a socket with SO_REUSEADDR, binds it to the first free
// local port from 3333 up to 3343, and connects. A connect that fails
// because the address is in use (EADDRINUSE, or Linux's EADDRNOTAVAIL for a
// local port still held by an earlier connection to the same server) is
// tried again on a new socket bound to the next port, after a 2 s pause, at
// most 25 attempts in all. One attempt may take kConnectMs; the wait for it
// goes in slices that hear the read interrupt (tcp_line_io.h), so a run's
// stop request or deadline ends it (status 2, "interrupted"). Closing
// shuts the socket down both ways and pauses 1 s before releasing it.
// Pauses go through the platform clock.
//
// Status: 0 success; 1 wrong state ("*not initialized", "*already
// connected"); 2 every other failure. The %d in messages is the platform's
// error number (errno, or h_errno for the resolver).
//
// TLS: startTls runs the handshake on the open connection (at once for
// implicit TLS, after STLS/STARTTLS otherwise) with the options of
// setTlsOptions; from then on every line read and sent on the socket is
// encrypted. A failure closes the connection; its message names the server
// as host:port, the reason, and the certificate's SHA-256 fingerprint when
// one was received, so the operator can check and pin it. Bytes that
// arrived before the handshake and were not read are a failure too: they
// cannot be told apart from an attacker's injection.
//
// Ownership: the manager owns its socket. Not thread-safe.
//
// Security: the host name only reaches the resolver; nothing received on
// the connection is interpreted here (see tcp_line_io.h).
#pragma once

#include <cstdint>
#include <string>

#include "common/manager.h"

class TCPManager : public Manager {
 public:
  static constexpr int kWrongState = 1;
  static constexpr int kFailure = 2;
  static constexpr uint16_t kFirstLocalPort = 3333;
  static constexpr uint16_t kLastLocalPort = 3343;
  static constexpr int kConnectAttempts = 25;
  static constexpr int64_t kRetryPauseMs = 2000;
  static constexpr int64_t kClosePauseMs = 1000;
  // Time given to one connect attempt.
  static constexpr int64_t kConnectMs = 30 * 1000;

  TCPManager();
  ~TCPManager() override;
  TCPManager(const TCPManager&) = delete;
  TCPManager& operator=(const TCPManager&) = delete;

  static constexpr int64_t kHandshakeMs = 60 * 1000;

  [[nodiscard]] virtual int connect(const stringT& host, uint16_t port);
  // Closes the connection if any; always status 0.
  virtual int disconnect();

  int socket() const { return socket_; }
  bool connected() const { return connected_; }
  bool initialized() const { return initialized_; }
  // The local port of the last bind (0 before any).
  uint16_t localPort() const { return localPort_; }

  // Trust anchors beyond the system's (PEM file, may be empty) and the
  // SHA-256 fingerprint the server's certificate must have (may be empty).
  void setTlsOptions(const std::string& caFile, const std::string& pin) {
    caFile_ = caFile;
    pin_ = pin;
  }
  // Starts TLS on the open connection; 0, or status 2 and closed.
  [[nodiscard]] int startTls();
  bool encrypted() const;
  // "TLSv1.3 TLS_AES_256_GCM_SHA384" once encrypted.
  const std::string& tlsDescription() const { return tlsDescription_; }
  // The server as "host:port", for messages.
  stringT serverName() const;

 protected:
  // Shuts down, pauses, closes; clears the connected flag in any case.
  void closeSocket();

 private:
  [[nodiscard]] int resolve(const stringT& host, uint32_t& address);
  [[nodiscard]] int openSocket(int protocol);
  [[nodiscard]] int bindSearch();
  // Waits for the connect under way: 0, an errno value, ETIMEDOUT after
  // kConnectMs, or kConnectInterrupted when the read interrupt said stop.
  [[nodiscard]] int awaitConnection();
  static constexpr int kConnectInterrupted = -1;

  bool connected_ = false;
  bool initialized_ = false;
  int socket_ = -1;
  uint16_t localPort_ = 0;
  int portCounter_ = 0;
  std::string host_;
  uint16_t port_ = 0;
  std::string caFile_;
  std::string pin_;
  std::string tlsDescription_;
};
