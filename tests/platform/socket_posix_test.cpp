// The POSIX socket layer against a listener on the loopback interface.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <chrono>

#include "platform/blackhole.h"
#include "platform/net_address.h"
#include "platform/socket.h"

namespace {

// Connects and waits for the connection: 0 or the error.
int connectNow(SocketLayer& net, int handle, uint16_t port) {
  int err = net.startConnect(handle, dottedAddress("127.0.0.1"), port);
  return err == EINPROGRESS ? net.waitConnected(handle, 5000) : err;
}

class Listener {
 public:
  Listener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~Listener() { ::close(fd); }
  int accept() { return ::accept(fd, nullptr, nullptr); }
  int fd;
  uint16_t port;
};

TEST(PosixSockets, ResolvesLoopbackByNameAndAddress) {
  SocketLayer& net = platformSockets();
  HostEntry entry;
  ASSERT_EQ(net.hostByName("localhost", entry), 0);
  EXPECT_EQ(entry.addresses[0], dottedAddress("127.0.0.1"));
  ASSERT_EQ(net.hostByAddress(dottedAddress("127.0.0.1"), entry), 0);
  EXPECT_FALSE(entry.name.empty());
  EXPECT_NE(net.hostByName("no-such-host.invalid", entry), 0);
  EXPECT_NE(net.hostByName(std::string("local\0host", 10), entry), 0);
  int tcp = 0;
  ASSERT_EQ(net.protocolByName("TCP", tcp), 0);
  EXPECT_EQ(tcp, 6);
  std::string name;
  ASSERT_EQ(net.localHostName(name, 80), 0);
  EXPECT_FALSE(name.empty());
  EXPECT_LT(name.size(), 80u);
}

TEST(PosixSockets, DottedAddressesFollowInetAddr) {
  EXPECT_EQ(dottedAddress("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(dottedAddress("1mail.example.com"), kAddressNone);
  EXPECT_EQ(dottedAddress("255.255.255.255"), kAddressNone);
  EXPECT_EQ(dottedAddress(std::string("127.0.0.1\0x", 11)), kAddressNone);
}

TEST(PosixSockets, ConnectSendReceiveWaitAndClose) {
  SocketLayer& net = platformSockets();
  Listener server;
  int handle = -1;
  ASSERT_EQ(net.openStream(6, handle), 0);
  ASSERT_EQ(net.setReuseAddress(handle), 0);
  ASSERT_EQ(net.bindLocal(handle, 0), 0);
  ASSERT_EQ(connectNow(net, handle, server.port), 0);
  int peer = server.accept();
  ASSERT_GE(peer, 0);

  EXPECT_EQ(net.waitReadable(handle, 20), 0);  // nothing yet: the limit passes
  ASSERT_EQ(::send(peer, "+OK hi\r\n", 8, 0), 8);
  ASSERT_EQ(net.waitReadable(handle, 5000), 1);
  char buffer[64];
  EXPECT_EQ(net.receive(handle, buffer, sizeof buffer), 8);
  EXPECT_EQ(net.sendAll(handle, "QUIT\r\n", 6, 1000), 6);
  EXPECT_EQ(::recv(peer, buffer, sizeof buffer, 0), 6);

  ::close(peer);
  ASSERT_EQ(net.waitReadable(handle, 5000), 1);
  EXPECT_EQ(net.receive(handle, buffer, sizeof buffer), 0);  // closed by the peer
  // Sending to a closed peer fails with an error, never with SIGPIPE.
  long rc = 0;
  for (int i = 0; i < 100 && rc >= 0; ++i) rc = net.sendAll(handle, "x", 1, 1000);
  EXPECT_LT(rc, 0);
  EXPECT_EQ(net.shutdownBoth(handle) == 0 || errno == ENOTCONN, true);
  EXPECT_EQ(net.closeHandle(handle), 0);
}

TEST(PosixSockets, PortOfAListenerIsInUse) {
  SocketLayer& net = platformSockets();
  Listener server;
  int handle = -1;
  ASSERT_EQ(net.openStream(6, handle), 0);
  ASSERT_EQ(net.setReuseAddress(handle), 0);
  EXPECT_EQ(net.bindLocal(handle, server.port), EADDRINUSE);
  EXPECT_EQ(net.closeHandle(handle), 0);
  // A port nobody listens on refuses the connection.
  ASSERT_EQ(net.openStream(6, handle), 0);
  uint16_t closedPort = server.port;
  ::close(server.fd);
  server.fd = ::socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(connectNow(net, handle, closedPort), ECONNREFUSED);
  EXPECT_EQ(net.closeHandle(handle), 0);
}

TEST(PosixSockets, ConnectToAHostThatNeverAnswersWaitsOnlyAsLongAsAsked) {
  BlackholePort blackhole;
  if (!blackhole.ready()) GTEST_SKIP() << "the listener's queue could not be filled";
  SocketLayer& net = platformSockets();
  int handle = -1;
  ASSERT_EQ(net.openStream(6, handle), 0);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(net.startConnect(handle, dottedAddress("127.0.0.1"), blackhole.port()), EINPROGRESS);
  EXPECT_EQ(net.waitConnected(handle, 300), EINPROGRESS);  // still being made: never "connected"
  EXPECT_EQ(net.waitConnected(handle, 0), EINPROGRESS);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(net.closeHandle(handle), 0);
}

}  // namespace
