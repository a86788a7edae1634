#include "mail/tcp_manager.h"

#include <cerrno>

#include "common/string_mapper.h"
#include "mail/mail_text.h"
#include "mail/tcp_line_io.h"
#include "platform/clock.h"
#include "platform/net_address.h"
#include "platform/socket.h"
#include "platform/tls_stream.h"

namespace {

// Live managers and whether the network library is running for them.
int liveManagers = 0;
bool libraryStarted = false;

bool addressInUse(int err) { return err == EADDRINUSE || err == EADDRNOTAVAIL; }

}  // namespace

TCPManager::TCPManager() : Manager(translate("*TCP manager")) {
  if (!libraryStarted) libraryStarted = platformSockets().startup() == 0;
  initialized_ = libraryStarted;
  ++liveManagers;
}

TCPManager::~TCPManager() {
  closeSocket();
  if (--liveManagers == 0 && libraryStarted) {
    platformSockets().cleanup();
    libraryStarted = false;
  }
}

int TCPManager::resolve(const stringT& host, uint32_t& address) {
  SocketLayer& net = platformSockets();
  HostEntry entry;
  const std::string name = host.str();
  if (!name.empty() && name[0] >= '0' && name[0] <= '9') {
    uint32_t dotted = dottedAddress(name);
    if (dotted == kAddressNone) return setStatus(kFailure, formatMarked("*invalid ip address \"%s\"", host.c_str()));
    if (int err = net.hostByAddress(dotted, entry); err != 0)
      return setStatus(kFailure, formatMarked("*host address lookup failed; the server \"%s\" was not found on the "
                                              "network: %d",
                                              host.c_str(), err));
  } else if (int err = net.hostByName(name, entry); err != 0) {
    return setStatus(kFailure,
                     formatMarked("*hostname lookup failed; the server \"%s\" was not found on the network: %d",
                                  host.c_str(), err));
  }
  if (entry.addresses.empty())
    return setStatus(kFailure,
                     formatMarked("*hostname lookup failed; the server \"%s\" was not found on the network: %d",
                                  host.c_str(), 0));
  address = entry.addresses[0];
  return 0;
}

int TCPManager::openSocket(int protocol) {
  if (int err = platformSockets().openStream(protocol, socket_); err != 0) {
    socket_ = -1;
    return setStatus(kFailure, formatMarked("*failed to create socket: %d", err));
  }
  return 0;
}

int TCPManager::bindSearch() {
  for (;;) {
    localPort_ = static_cast<uint16_t>(++portCounter_);
    int err = platformSockets().bindLocal(socket_, localPort_);
    if (err == 0) return 0;
    if (err == EADDRINUSE && portCounter_ <= kLastLocalPort - 1) continue;
    closeSocket();
    return setStatus(kFailure, translate("*failed to bind socket"));
  }
}

int TCPManager::connect(const stringT& host, uint16_t port) {
  if (!initialized_) return setStatus(kWrongState, translate("*not initialized"));
  if (connected_) return setStatus(kWrongState, translate("*already connected"));

  host_ = host.str();
  port_ = port;
  tlsDescription_.clear();
  uint32_t address = 0;
  if (int rc = resolve(host, address); rc != 0) return rc;
  int protocol = 0;
  if (int err = platformSockets().protocolByName("TCP", protocol); err != 0)
    return setStatus(kFailure,
                     formatMarked("*protocol lookup failed; your computer is not configured for TCP networking: %d", err));

  int retries = 0;
  closeSocket();
  portCounter_ = kFirstLocalPort - 1;
  if (int rc = openSocket(protocol); rc != 0) return rc;
  for (;;) {
    (void)platformSockets().setReuseAddress(socket_);
    if (int rc = bindSearch(); rc != 0) return rc;
    int err = platformSockets().startConnect(socket_, address, port);
    if (err == EINPROGRESS) err = awaitConnection();
    if (err == kConnectInterrupted || err == ETIMEDOUT) {
      closeSocket();
      const stringT peer = stringT::format("%s:%u", host.c_str(), static_cast<unsigned>(port));
      if (err == ETIMEDOUT)
        return setStatus(kFailure, formatMarked("*No answer from %s within %d seconds; the server may be down, or "
                                                "your network connection may not be active",
                                                peer.c_str(), int(kConnectMs / 1000)));
      return setStatus(kFailure, formatMarked("*Connecting to %s was interrupted", peer.c_str()));
    }
    if (err == 0) {
      connected_ = true;
      return setStatus(0);
    }
    if (addressInUse(err) && ++retries < kConnectAttempts && !readInterrupted()) {
      platformClock().sleepMs(kRetryPauseMs);
      closeSocket();
      if (int rc = openSocket(protocol); rc != 0) return rc;
      continue;
    }
    closeSocket();
    // Both name the server and port tried: an administrator reading the
    // journal must see which of the two mail servers failed.
    const stringT peer = stringT::format(" (%s:%u)", host.c_str(), static_cast<unsigned>(port));
    if (addressInUse(err)) return setStatus(kFailure, translate("*The server is busy") + peer);
    // This one message is filled in first and translated afterwards.
    return setStatus(kFailure, translate(stringT::format("*Can't connect; the server may be down, or your network "
                                                         "connection may not be active: %d",
                                                         err)) +
                                   peer);
  }
}

int TCPManager::awaitConnection() {
  // In slices, like a read (tcp_line_io.h), so that a run's stop request
  // and deadline are heard while a server that drops our packets keeps us
  // waiting; the kernel would give up on its own only after minutes.
  const int64_t deadline = platformClock().monotonicMs() + kConnectMs;
  for (;;) {
    if (readInterrupted()) return kConnectInterrupted;
    int64_t left = deadline - platformClock().monotonicMs();
    if (left <= 0) return ETIMEDOUT;
    int err = platformSockets().waitConnected(socket_, left < kInterruptSliceMs ? left : kInterruptSliceMs);
    if (err != EINPROGRESS) return err;
  }
}

int TCPManager::disconnect() {
  if (initialized_) closeSocket();
  return setStatus(0);
}

stringT TCPManager::serverName() const { return stringT::format("%s:%u", host_.c_str(), unsigned(port_)); }

bool TCPManager::encrypted() const { return socket_ != -1 && tlsActive(socket_); }

int TCPManager::startTls() {
  if (!connected_) return setStatus(kFailure, translate("*not connected"));
  if (readAheadBytes(socket_) != 0) {
    closeSocket();
    return setStatus(kFailure, formatMarked("*TLS with %s failed: the server sent data before the TLS handshake",
                                            serverName().c_str()));
  }
  TlsOutcome outcome;
  // The handshake hears the read interrupt as reads do: a server that
  // stalls it must not hold a run that was asked to stop.
  if (tlsStartClient(socket_, TlsOptions{host_, caFile_, pin_}, kHandshakeMs, [] { return readInterrupted(); },
                     outcome) != 0) {
    closeSocket();
    if (outcome.interrupted)
      return setStatus(kFailure, formatMarked("*TLS with %s was interrupted", serverName().c_str()));
    stringT message = formatMarked("*TLS with %s failed: %s", serverName().c_str(), outcome.reason.c_str());
    if (!outcome.fingerprint.empty())
      message += formatMarked("*; the server's certificate has the SHA-256 fingerprint %s",
                              outcome.fingerprint.c_str());
    return setStatus(kFailure, message);
  }
  tlsDescription_ = outcome.protocol + " " + outcome.cipher;
  return setStatus(0);
}

void TCPManager::closeSocket() {
  if (socket_ != -1) {
    SocketLayer& net = platformSockets();
    tlsEnd(socket_);
    net.shutdownBoth(socket_);
    platformClock().sleepMs(kClosePauseMs);
    net.closeHandle(socket_);
    discardReadAhead(socket_);
    socket_ = -1;
  }
  connected_ = false;
}
