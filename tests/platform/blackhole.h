// A loopback port that never answers a connect, as a host that drops the
// packets does: a listener that accepts nothing and whose accept queue is
// full, so the kernel drops every further SYN (Linux, without
// tcp_abort_on_overflow). Nothing leaves the machine.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

class BlackholePort {
 public:
  BlackholePort() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 0) != 0) return;
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    // Connect until one attempt is left hanging: the queue is full then.
    for (int i = 0; i < 16; ++i) {
      int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      fillers_.push_back(c);
      if (::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) continue;
      pollfd p{c, POLLOUT, 0};
      if (::poll(&p, 1, 300) == 0) {
        full_ = true;
        return;
      }
    }
  }
  ~BlackholePort() {
    for (int c : fillers_) ::close(c);
    ::close(listener_);
  }
  BlackholePort(const BlackholePort&) = delete;
  BlackholePort& operator=(const BlackholePort&) = delete;

  // False when the queue could not be filled (the test cannot run here).
  bool ready() const { return full_; }
  uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  bool full_ = false;
  std::vector<int> fillers_;
};
