// The POSIX implementation of SocketLayer: BSD sockets, the reentrant
// resolver calls (gethostbyname_r, gethostbyaddr_r, getprotobyname_r) and
// poll for every wait.
//
// Security: sends use MSG_NOSIGNAL, so a peer that closes the connection
// cannot kill the process with SIGPIPE; waits use poll with the caller's
// limit; reads never exceed the caller's buffer.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

void fillHost(const hostent* entry, HostEntry& out) {
  out.name = entry->h_name ? entry->h_name : "";
  out.addresses.clear();
  if (entry->h_addrtype != AF_INET || entry->h_length != 4) return;
  for (char** a = entry->h_addr_list; a && *a; ++a) {
    uint32_t address;
    std::memcpy(&address, *a, 4);
    out.addresses.push_back(address);
  }
}

// The resolver's _r calls need a scratch buffer; grow it while they ask.
template <typename Call>
int resolve(Call call, HostEntry& out) {
  std::vector<char> scratch(2048);
  for (;;) {
    hostent entry{};
    hostent* result = nullptr;
    int herr = 0;
    int rc = call(&entry, scratch.data(), scratch.size(), &result, &herr);
    if (rc == ERANGE && scratch.size() < (size_t(1) << 20)) {
      scratch.resize(scratch.size() * 2);
      continue;
    }
    if (rc != 0 || result == nullptr) return herr != 0 ? herr : HOST_NOT_FOUND;
    fillHost(result, out);
    return out.addresses.empty() ? NO_DATA : 0;
  }
}

int pollFor(int handle, short events, int64_t timeoutMs) {
  if (timeoutMs < 0) timeoutMs = 0;
  int wait = timeoutMs > INT_MAX ? INT_MAX : static_cast<int>(timeoutMs);
  pollfd p{handle, events, 0};
  for (;;) {
    int rc = ::poll(&p, 1, wait);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) return -errno;
    return rc > 0 ? 1 : 0;
  }
}

// The mail dialogues send a command or a message in a few writes and then
// wait for the reply. With Nagle's algorithm the last small write waits for
// the peer's delayed ACK (about 40 ms a message); the dialogue gains nothing
// from coalescing, so it is switched off. Failing to set it only costs time.
void noDelay(int handle) {
  int on = 1;
  (void)::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Connects without blocking; the socket is blocking again once connected
// (reads wait with poll, sends pass MSG_DONTWAIT themselves).
int setBlocking(int handle, bool blocking) {
  int flags = ::fcntl(handle, F_GETFL);
  if (flags < 0) return errno;
  int wanted = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
  if (wanted != flags && ::fcntl(handle, F_SETFL, wanted) != 0) return errno;
  return 0;
}

int connected(int handle) {
  noDelay(handle);
  return setBlocking(handle, true);
}

class PosixSockets : public SocketLayer {
 public:
  int startup() override { return 0; }
  void cleanup() override {}

  int hostByName(const std::string& name, HostEntry& out) override {
    if (name.find('\0') != std::string::npos) return HOST_NOT_FOUND;
    return resolve(
        [&](hostent* e, char* buf, size_t len, hostent** res, int* herr) {
          return gethostbyname_r(name.c_str(), e, buf, len, res, herr);
        },
        out);
  }

  int hostByAddress(uint32_t address, HostEntry& out) override {
    return resolve(
        [&](hostent* e, char* buf, size_t len, hostent** res, int* herr) {
          return gethostbyaddr_r(&address, 4, AF_INET, e, buf, len, res, herr);
        },
        out);
  }

  int protocolByName(const std::string& name, int& number) override {
    char scratch[1024];
    protoent entry{};
    protoent* result = nullptr;
    int rc = getprotobyname_r(name.c_str(), &entry, scratch, sizeof scratch, &result);
    if (rc != 0) return rc;
    if (result == nullptr) return ENOENT;
    number = result->p_proto;
    return 0;
  }

  int localHostName(std::string& out, size_t capacity) override {
    std::vector<char> name(capacity + 1, '\0');
    if (capacity == 0 || ::gethostname(name.data(), capacity) != 0) return errno ? errno : EINVAL;
    name[capacity - 1] = '\0';
    out = name.data();
    return 0;
  }

  int openStream(int protocol, int& handle) override {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, protocol);
    if (fd < 0) return errno;
    handle = fd;
    return 0;
  }

  int setReuseAddress(int handle) override {
    int on = 1;
    return ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 ? 0 : errno;
  }

  int bindLocal(int handle, uint16_t port) override {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    return ::bind(handle, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 ? 0 : errno;
  }

  int startConnect(int handle, uint32_t address, uint16_t port) override {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = address;
    remote.sin_port = htons(port);
    if (int err = setBlocking(handle, false); err != 0) return err;
    if (::connect(handle, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) return connected(handle);
    // EINTR leaves the connection being made in the background, as
    // EINPROGRESS does; waitConnected tells how it ended.
    if (errno == EINPROGRESS || errno == EINTR) return EINPROGRESS;
    int err = errno;
    (void)setBlocking(handle, true);
    return err;
  }

  int waitConnected(int handle, int64_t timeoutMs) override {
    if (timeoutMs < 0) timeoutMs = 0;
    pollfd p{handle, POLLOUT, 0};
    int rc = ::poll(&p, 1, timeoutMs > INT_MAX ? INT_MAX : static_cast<int>(timeoutMs));
    if (rc == 0 || (rc < 0 && errno == EINTR)) return EINPROGRESS;
    if (rc < 0) return errno;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    if (err != 0) return err;
    // Writable with no pending error should mean connected; make sure, so
    // that nothing but a made connection is ever reported as one.
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    if (::getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return errno;
    return connected(handle);
  }

  int shutdownBoth(int handle) override { return ::shutdown(handle, SHUT_RDWR) == 0 ? 0 : errno; }
  int closeHandle(int handle) override { return ::close(handle) == 0 ? 0 : errno; }

  int waitReadable(int handle, int64_t timeoutMs) override { return pollFor(handle, POLLIN, timeoutMs); }

  long receive(int handle, char* buffer, size_t capacity) override {
    for (;;) {
      ssize_t n = ::recv(handle, buffer, capacity, 0);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -errno;
    }
  }

  long sendAll(int handle, const char* data, size_t length, int64_t timeoutMs) override {
    size_t sent = 0;
    while (sent < length) {
      ssize_t n = ::send(handle, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        int ready = pollFor(handle, POLLOUT, timeoutMs);
        if (ready < 0) return ready;
        if (ready == 0) return -ETIMEDOUT;
        continue;
      }
      return n < 0 ? -errno : -EIO;
    }
    return static_cast<long>(sent);
  }
};

PosixSockets posixSockets;
SocketLayer* current = &posixSockets;

}  // namespace

SocketLayer& platformSockets() { return *current; }

void setSockets(SocketLayer* layer) { current = layer ? layer : &posixSockets; }
