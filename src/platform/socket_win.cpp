// The Windows implementation of SocketLayer: Winsock 2, getaddrinfo and
// getnameinfo for the resolver (thread-safe, unlike gethostbyname), and
// WSAPoll for every wait. Error numbers are turned into the errno names
// the layer promises (socket_errors_win.h); resolver errors stay the
// Winsock ones (HOST_NOT_FOUND is WSAHOST_NOT_FOUND).
//
// Security: as on POSIX, waits are bounded by the caller's limit and reads
// never exceed the caller's buffer; Windows raises no SIGPIPE.
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/socket_errors_win.h"

int errnoFromWinsock(int code) {
  switch (code) {
    case 0:
      return 0;
    case WSAEINTR:
      return EINTR;
    case WSAEBADF:
    case WSAENOTSOCK:
      return EBADF;
    case WSAEACCES:
      return EACCES;
    case WSAEINVAL:
      return EINVAL;
    case WSAEMFILE:
      return EMFILE;
    case WSAEWOULDBLOCK:
      return EWOULDBLOCK;
    case WSAEINPROGRESS:
      return EINPROGRESS;
    case WSAEALREADY:
      return EALREADY;
    case WSAEADDRINUSE:
      return EADDRINUSE;
    case WSAEADDRNOTAVAIL:
      return EADDRNOTAVAIL;
    case WSAENETDOWN:
      return ENETDOWN;
    case WSAENETUNREACH:
      return ENETUNREACH;
    case WSAENETRESET:
      return ENETRESET;
    case WSAECONNABORTED:
      return ECONNABORTED;
    case WSAECONNRESET:
      return ECONNRESET;
    case WSAENOBUFS:
      return ENOBUFS;
    case WSAEISCONN:
      return EISCONN;
    case WSAENOTCONN:
      return ENOTCONN;
    case WSAESHUTDOWN:
      return EPIPE;
    case WSAETIMEDOUT:
      return ETIMEDOUT;
    case WSAECONNREFUSED:
      return ECONNREFUSED;
    case WSAEHOSTUNREACH:
      return EHOSTUNREACH;
    default:
      return code;
  }
}

namespace {

int lastSocketError() { return errnoFromWinsock(WSAGetLastError()); }

SOCKET sock(int handle) { return static_cast<SOCKET>(handle); }

int pollFor(int handle, short events, int64_t timeoutMs) {
  if (timeoutMs < 0) timeoutMs = 0;
  int wait = timeoutMs > INT_MAX ? INT_MAX : static_cast<int>(timeoutMs);
  WSAPOLLFD p{sock(handle), events, 0};
  int rc = WSAPoll(&p, 1, wait);
  if (rc == SOCKET_ERROR) return -lastSocketError();
  return rc > 0 ? 1 : 0;
}

void noDelay(int handle) {
  BOOL on = TRUE;
  (void)::setsockopt(sock(handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

int setBlocking(int handle, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ::ioctlsocket(sock(handle), FIONBIO, &nonBlocking) == 0 ? 0 : lastSocketError();
}

int connected(int handle) {
  noDelay(handle);
  return setBlocking(handle, true);
}

int resolverError(int rc) {
  switch (rc) {
    case EAI_AGAIN:
      return TRY_AGAIN;
    case EAI_FAIL:
      return NO_RECOVERY;
    case EAI_NODATA:
      return NO_DATA;
    default:
      return HOST_NOT_FOUND;
  }
}

class WinSockets : public SocketLayer {
 public:
  int startup() override {
    WSADATA data;
    int rc = WSAStartup(MAKEWORD(2, 2), &data);
    return rc == 0 ? 0 : errnoFromWinsock(rc);
  }
  void cleanup() override { WSACleanup(); }

  int hostByName(const std::string& name, HostEntry& out) override {
    if (name.find('\0') != std::string::npos) return HOST_NOT_FOUND;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) return resolverError(rc);
    out.name = list->ai_canonname ? list->ai_canonname : name;
    out.addresses.clear();
    for (addrinfo* a = list; a; a = a->ai_next)
      if (a->ai_family == AF_INET) out.addresses.push_back(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(list);
    return out.addresses.empty() ? NO_DATA : 0;
  }

  int hostByAddress(uint32_t address, HostEntry& out) override {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = address;
    char host[NI_MAXHOST];
    int rc = getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return resolverError(rc);
    out.name = host;
    out.addresses = {address};
    return 0;
  }

  int protocolByName(const std::string& name, int& number) override {
    const protoent* p = getprotobyname(name.c_str());
    if (p == nullptr) return ENOENT;
    number = p->p_proto;
    return 0;
  }

  int localHostName(std::string& out, size_t capacity) override {
    if (capacity == 0) return EINVAL;
    std::string name(capacity + 1, '\0');
    if (::gethostname(name.data(), static_cast<int>(capacity)) != 0) return lastSocketError();
    name[capacity - 1] = '\0';
    out = name.c_str();
    return 0;
  }

  int openStream(int protocol, int& handle) override {
    SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return lastSocketError();
    handle = static_cast<int>(s);
    return 0;
  }

  // Windows' SO_REUSEADDR would let another program take a port in use;
  // exclusive use is what the POSIX option amounts to for a client.
  int setReuseAddress(int handle) override {
    BOOL on = TRUE;
    return ::setsockopt(sock(handle), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) == 0
               ? 0
               : lastSocketError();
  }

  int bindLocal(int handle, uint16_t port) override {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    return ::bind(sock(handle), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 ? 0 : lastSocketError();
  }

  // Connecting never blocks: the socket is non-blocking until the connection
  // is made (FIONBIO), and Winsock's WSAEWOULDBLOCK stands for EINPROGRESS.
  int startConnect(int handle, uint32_t address, uint16_t port) override {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = address;
    remote.sin_port = htons(port);
    if (int err = setBlocking(handle, false); err != 0) return err;
    if (::connect(sock(handle), reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) return connected(handle);
    int code = ::WSAGetLastError();
    if (code == WSAEWOULDBLOCK || code == WSAEINPROGRESS) return EINPROGRESS;
    (void)setBlocking(handle, true);
    return errnoFromWinsock(code);
  }

  int waitConnected(int handle, int64_t timeoutMs) override {
    if (timeoutMs < 0) timeoutMs = 0;
    WSAPOLLFD p{};
    p.fd = sock(handle);
    p.events = POLLWRNORM;
    int rc = ::WSAPoll(&p, 1, timeoutMs > INT_MAX ? INT_MAX : static_cast<int>(timeoutMs));
    if (rc == 0) return EINPROGRESS;
    if (rc < 0) return lastSocketError();
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(sock(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) return lastSocketError();
    if (err != 0) return errnoFromWinsock(err);
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    if (::getpeername(sock(handle), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return lastSocketError();
    return connected(handle);
  }

  int shutdownBoth(int handle) override { return ::shutdown(sock(handle), SD_BOTH) == 0 ? 0 : lastSocketError(); }
  int closeHandle(int handle) override { return ::closesocket(sock(handle)) == 0 ? 0 : lastSocketError(); }

  int waitReadable(int handle, int64_t timeoutMs) override { return pollFor(handle, POLLRDNORM, timeoutMs); }

  long receive(int handle, char* buffer, size_t capacity) override {
    int want = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
    int n = ::recv(sock(handle), buffer, want, 0);
    if (n >= 0) return n;
    return -lastSocketError();
  }

  // A blocking socket's send takes everything or fails; the wait for room
  // is bounded by a send time-out of timeoutMs.
  long sendAll(int handle, const char* data, size_t length, int64_t timeoutMs) override {
    DWORD limit = timeoutMs <= 0 ? 1 : (timeoutMs > INT_MAX ? INT_MAX : static_cast<DWORD>(timeoutMs));
    (void)::setsockopt(sock(handle), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    size_t sent = 0;
    while (sent < length) {
      size_t rest = length - sent;
      int n = ::send(sock(handle), data + sent, rest > INT_MAX ? INT_MAX : static_cast<int>(rest), 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      if (n == SOCKET_ERROR) {
        int e = lastSocketError();
        return e == EWOULDBLOCK ? -ETIMEDOUT : -e;
      }
      return -EIO;
    }
    return static_cast<long>(sent);
  }
};

WinSockets winSockets;
SocketLayer* current = &winSockets;

}  // namespace

SocketLayer& platformSockets() { return *current; }

void setSockets(SocketLayer* layer) { current = layer ? layer : &winSockets; }
