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
// most 25 attempts in all. Closing shuts the socket down both ways and
// pauses 1 s before releasing it. Pauses go through the platform clock.
//
// Status: 0 success; 1 wrong state ("*not initialized", "*already
// connected"); 2 every other failure. The %d in messages is the platform's
// error number (errno, or h_errno for the resolver).
//
// Ownership: the manager owns its socket. Not thread-safe.
//
// Security: the host name only reaches the resolver; nothing received on
// the connection is interpreted here (see tcp_line_io.h).
#pragma once

#include <cstdint>

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

  TCPManager();
  ~TCPManager() override;
  TCPManager(const TCPManager&) = delete;
  TCPManager& operator=(const TCPManager&) = delete;

  [[nodiscard]] virtual int connect(const stringT& host, uint16_t port);
  // Closes the connection if any; always status 0.
  virtual int disconnect();

  int socket() const { return socket_; }
  bool connected() const { return connected_; }
  bool initialized() const { return initialized_; }
  // The local port of the last bind (0 before any).
  uint16_t localPort() const { return localPort_; }

 protected:
  // Shuts down, pauses, closes; clears the connected flag in any case.
  void closeSocket();

 private:
  [[nodiscard]] int resolve(const stringT& host, uint32_t& address);
  [[nodiscard]] int openSocket(int protocol);
  [[nodiscard]] int bindSearch();

  bool connected_ = false;
  bool initialized_ = false;
  int socket_ = -1;
  uint16_t localPort_ = 0;
  int portCounter_ = 0;
};
