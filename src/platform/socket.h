// SocketLayer: the platform's TCP sockets, resolver and local host name,
// behind one interface so that everything above it can be tested against a
// scripted peer (socket_scripted.h) instead of the network.
//
// Error numbers are the platform's own: errno values for socket calls
// (EADDRINUSE, ECONNREFUSED, ...) and h_errno values for the resolver
// (HOST_NOT_FOUND, TRY_AGAIN, ...). Addresses are IPv4 in network byte
// order, ports in host byte order.
//
// platformSockets() is the process-wide layer: the POSIX one until a test
// installs another with setSockets(). Not thread-safe: the gateway uses
// sockets from its one gateway thread.
//
// Security: the layer moves bytes and nothing else; it never interprets
// them. Sends never raise SIGPIPE (a peer that went away gives EPIPE), and
// every wait for the peer is bounded by the caller's time limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct HostEntry {
  std::string name;                 // official name
  std::vector<uint32_t> addresses;  // IPv4, network byte order; never empty on success
};

class SocketLayer {
 public:
  virtual ~SocketLayer() = default;

  // Starts and releases the network library (nothing to do on POSIX).
  // startup returns 0 or an error number.
  [[nodiscard]] virtual int startup() = 0;
  virtual void cleanup() = 0;

  // Resolver. Each returns 0 and fills out, or a resolver error number.
  [[nodiscard]] virtual int hostByName(const std::string& name, HostEntry& out) = 0;
  [[nodiscard]] virtual int hostByAddress(uint32_t address, HostEntry& out) = 0;
  // The protocol number of a protocol name ("TCP"); 0 or an error number.
  [[nodiscard]] virtual int protocolByName(const std::string& name, int& number) = 0;
  // The local computer's name, at most capacity - 1 bytes; 0 or an error.
  [[nodiscard]] virtual int localHostName(std::string& out, size_t capacity) = 0;

  // Stream sockets (AF_INET). Each returns 0 or an errno value.
  [[nodiscard]] virtual int openStream(int protocol, int& handle) = 0;
  [[nodiscard]] virtual int setReuseAddress(int handle) = 0;
  // Binds to INADDR_ANY at port.
  [[nodiscard]] virtual int bindLocal(int handle, uint16_t port) = 0;
  // Connecting never blocks: startConnect begins it and returns 0 when the
  // connection is made at once, EINPROGRESS while it is being made, or the
  // error. waitConnected then waits at most timeoutMs for it: 0 connected,
  // EINPROGRESS still being made (the limit passed, or a signal came), or
  // the error that ended it. The caller waits in slices, so that it can
  // hear a stop request or a deadline between them, and gives up when its
  // own time limit has passed (then it closes the socket).
  [[nodiscard]] virtual int startConnect(int handle, uint32_t address, uint16_t port) = 0;
  [[nodiscard]] virtual int waitConnected(int handle, int64_t timeoutMs) = 0;
  // Shuts down both directions.
  virtual int shutdownBoth(int handle) = 0;
  virtual int closeHandle(int handle) = 0;

  // Waits at most timeoutMs for handle to have bytes (or end of stream, or
  // an error) to read: 1 ready, 0 time limit reached, negative -errno.
  [[nodiscard]] virtual int waitReadable(int handle, int64_t timeoutMs) = 0;
  // Reads at most capacity bytes: the count (> 0), 0 when the peer closed
  // the connection, or -errno.
  [[nodiscard]] virtual long receive(int handle, char* buffer, size_t capacity) = 0;
  // Sends all of data, waiting at most timeoutMs for room each time the
  // peer is slow: the count sent, or -errno.
  virtual long sendAll(int handle, const char* data, size_t length, int64_t timeoutMs) = 0;
};

// The process-wide layer; the POSIX one until another is installed.
SocketLayer& platformSockets();
// Installs layer (not owned); nullptr restores the POSIX layer.
void setSockets(SocketLayer* layer);
