#include <cerrno>
#include <netdb.h>
#include <optional>

#include "mail/mail_test_support.h"
#include "mail/tcp_line_io.h"
#include "mail/tcp_manager.h"

namespace {

using TcpTest = ScriptedNetTest;

TEST_F(TcpTest, ConnectsByNameBindingTheFirstLocalPort) {
  TCPManager tcp;
  ASSERT_EQ(tcp.connect("mail.example.com", 110), 0);
  EXPECT_TRUE(tcp.connected());
  EXPECT_EQ(tcp.localPort(), 3333);
  EXPECT_EQ(net.events(), (std::vector<std::string>{"open", "bind 3333", "connect 192.0.2.10:110"}));
  EXPECT_EQ(tcp.connect("mail.example.com", 110), 1);
  EXPECT_EQ(tcp.message(), "already connected");
  EXPECT_EQ(tcp.disconnect(), 0);
  EXPECT_FALSE(tcp.connected());
  EXPECT_EQ(net.openHandles(), 0);
  EXPECT_EQ(clock.slept(), 1000);  // the close pause
}

TEST_F(TcpTest, ResolutionFailuresNameTheHost) {
  TCPManager tcp;
  EXPECT_EQ(tcp.connect("1mail.example.com", 25), 2);
  EXPECT_EQ(tcp.message(), "invalid ip address \"1mail.example.com\"");

  // A valid dotted address needs a reverse entry.
  EXPECT_EQ(tcp.connect("198.51.100.7", 25), 2);
  EXPECT_EQ(tcp.message(), stringT::format("host address lookup failed; the server \"198.51.100.7\" was not found "
                                           "on the network: %d",
                                           HOST_NOT_FOUND));
  EXPECT_EQ(tcp.connect("192.0.2.10", 25), 0);
  EXPECT_EQ(tcp.disconnect(), 0);

  EXPECT_EQ(tcp.connect("nowhere.example", 25), 2);
  EXPECT_EQ(tcp.message(), stringT::format("hostname lookup failed; the server \"nowhere.example\" was not found "
                                           "on the network: %d",
                                           HOST_NOT_FOUND));
  net.protocolError = ENOENT;
  EXPECT_EQ(tcp.connect("mail.example.com", 25), 2);
  EXPECT_EQ(tcp.message(), stringT::format("protocol lookup failed; your computer is not configured for TCP "
                                           "networking: %d",
                                           ENOENT));
  net.protocolError = 0;
  net.openError = EMFILE;
  EXPECT_EQ(tcp.connect("mail.example.com", 25), 2);
  EXPECT_EQ(tcp.message(), stringT::format("failed to create socket: %d", EMFILE));
  EXPECT_EQ(tcp.socket(), -1);
}

TEST_F(TcpTest, BindSearchCoversPorts3333To3343) {
  for (uint16_t p = 3333; p <= 3342; ++p) net.busyPorts.insert(p);
  TCPManager tcp;
  ASSERT_EQ(tcp.connect("mail.example.com", 25), 0);
  EXPECT_EQ(tcp.localPort(), 3343);
  EXPECT_EQ(tcp.disconnect(), 0);

  net.busyPorts.insert(3343);
  EXPECT_EQ(tcp.connect("mail.example.com", 25), 2);
  EXPECT_EQ(tcp.message(), "failed to bind socket");
  EXPECT_EQ(net.eventCount("bind 3344"), 0);
  EXPECT_EQ(net.openHandles(), 0);

  net.busyPorts.clear();
  net.bindError = EACCES;  // not "in use": no search
  EXPECT_EQ(tcp.connect("mail.example.com", 25), 2);
  EXPECT_EQ(tcp.message(), "failed to bind socket");
}

TEST_F(TcpTest, AddressInUseIsRetriedOnTheNextPortUntilTheServerIsBusy) {
  net.connectErrorAfter = EADDRINUSE;
  TCPManager tcp;
  EXPECT_EQ(tcp.connect("mail.example.com", 25), 2);
  EXPECT_EQ(tcp.message(), "The server is busy (mail.example.com:25)");
  EXPECT_EQ(net.eventCount("connect"), 25);
  EXPECT_EQ(net.eventCount("open"), 25);
  EXPECT_EQ(net.eventCount("bind 3357"), 1);  // each retry binds the next port
  // 24 retries, each a 2 s pause and a 1 s close, then the final close.
  EXPECT_EQ(clock.slept(), 24 * 3000 + 1000);
  EXPECT_EQ(net.openHandles(), 0);
}

TEST_F(TcpTest, LocalPortStillHeldByAnEarlierConnectionCountsAsInUse) {
  net.connectErrors = {EADDRNOTAVAIL, EADDRNOTAVAIL};
  TCPManager tcp;
  ASSERT_EQ(tcp.connect("mail.example.com", 25), 0);
  EXPECT_EQ(tcp.localPort(), 3335);
}

TEST_F(TcpTest, OtherConnectErrorsAreReportedWithTheirNumberServerAndPort) {
  net.connectErrors = {ECONNREFUSED};
  TCPManager tcp;
  EXPECT_EQ(tcp.connect("mail.example.com", 995), 2);
  EXPECT_EQ(tcp.message(), stringT::format("Can't connect; the server may be down, or your network connection may "
                                           "not be active: %d (mail.example.com:995)",
                                           ECONNREFUSED));
  EXPECT_FALSE(tcp.connected());
  EXPECT_EQ(tcp.connect("mail.example.com", 25), 0);  // usable again
}

TEST_F(TcpTest, LibraryStartFailureLeavesObjectsUninitialized) {
  net.startupError = ENETDOWN;
  TCPManager tcp;
  EXPECT_FALSE(tcp.initialized());
  EXPECT_EQ(tcp.connect("mail.example.com", 25), 1);
  EXPECT_EQ(tcp.message(), "not initialized");
  EXPECT_EQ(tcp.disconnect(), 0);
}

TEST_F(TcpTest, DestroyingOneManagerLeavesTheOtherUsable) {
  TCPManager never;
  EXPECT_EQ(never.disconnect(), 0);
  auto first = std::make_unique<TCPManager>();
  TCPManager second;
  first.reset();
  EXPECT_EQ(second.connect("mail.example.com", 25), 0);
}

class LineTest : public ScriptedNetTest {
 protected:
  void SetUp() override { ASSERT_EQ(tcp.connect("mail.example.com", 110), 0); }
  std::string next(int& count, int seconds = 60) { return std::string(readLine(tcp.socket(), count, seconds)); }
  TCPManager tcp;
};

TEST_F(LineTest, LongLineArrivesIn1022BytePieces) {
  net.chunkLimit = 700;  // blocks that do not line up with the pieces
  net.peerSends(std::string(2998, 'x') + "\r\n" + "next\r\n");
  int count = 0;
  EXPECT_EQ(next(count).size(), 1022u);
  EXPECT_EQ(count, 1022);
  next(count);
  EXPECT_EQ(count, 1022);
  EXPECT_EQ(next(count), std::string(954, 'x') + "\r\n");
  EXPECT_EQ(count, 956);
  EXPECT_EQ(next(count), "next\r\n");
}

TEST_F(LineTest, NulBytesAreDroppedAndNotCounted) {
  net.peerSends(std::string("+O\0K\0\r\n", 7));
  int count = 0;
  EXPECT_EQ(next(count), "+OK\r\n");
  EXPECT_EQ(count, 5);
}

TEST_F(LineTest, SilencePassesTheTimeLimitAndKeepsThePartialLine) {
  net.peerSends("+OK par");
  net.peerPauses(70000);
  net.peerSends("tial\r\n");
  int count = 0;
  EXPECT_EQ(next(count), "+OK par");
  EXPECT_EQ(count, -2);
  EXPECT_GE(clock.slept(), 60000);
  EXPECT_EQ(next(count), "tial\r\n");  // what arrives later is not lost
  EXPECT_EQ(count, 6);
}

TEST_F(LineTest, ClosedConnectionOrFailedReadGivesMinusOne) {
  net.peerSends("first\r\n");
  net.peerFails(ECONNRESET);
  net.peerCloses();
  int count = 0;
  EXPECT_EQ(next(count), "first\r\n");
  next(count);
  EXPECT_EQ(count, -1);
  next(count);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(clock.slept(), 0);  // at once, no waiting
}

TEST_F(LineTest, ReadAheadIsForgottenWhenTheSocketCloses) {
  net.peerSends("one\r\ntwo\r\n");
  int count = 0;
  EXPECT_EQ(next(count), "one\r\n");
  EXPECT_EQ(tcp.disconnect(), 0);
  ASSERT_EQ(tcp.connect("mail.example.com", 110), 0);
  net.peerSends("fresh\r\n");
  EXPECT_EQ(next(count), "fresh\r\n");
}

TEST_F(LineTest, SendFormattedRefusesWhatWouldNotFit) {
  EXPECT_EQ(sendFormatted(tcp.socket(), "USER %s\r\n", std::string(1016, 'a').c_str()), 0);  // 1023 bytes
  EXPECT_EQ(net.sent().size(), 1023u);
  net.clearSent();
  EXPECT_EQ(sendFormatted(tcp.socket(), "USER %s\r\n", std::string(1017, 'a').c_str()), kSendRefused);
  EXPECT_EQ(net.sent(), "");
}

}  // namespace

namespace {

// A connect attempt has kConnectMs; its wait hears the read interrupt.
TEST_F(TcpTest, ConnectWaitsInSlicesWithinItsTimeLimit) {
  struct Case {
    const char* name;
    int64_t delayMs;     // until the server answers the connect
    int64_t stopAfterMs; // read interrupt; 0: none
    int status;
    const char* message;
    int64_t elapsedMs;   // before the close pause
  };
  const Case cases[] = {
      {"slow server", 1500, 0, 0, "", 1500},
      {"never answers",
       ScriptedSockets::kNeverConnects, 0, 2,
       "No answer from mail.example.com:110 within 30 seconds; the server may be down, or your network connection "
       "may not be active",
       TCPManager::kConnectMs},
      {"stop request", ScriptedSockets::kNeverConnects, 3000, 2, "Connecting to mail.example.com:110 was interrupted",
       3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    net.connectDelayMs = c.delayMs;
    const int64_t start = clock.monotonicMs();
    std::optional<ReadInterruptScope> interrupt;
    if (c.stopAfterMs) interrupt.emplace([&] { return clock.monotonicMs() >= start + c.stopAfterMs; });
    TCPManager tcp;
    EXPECT_EQ(tcp.connect("mail.example.com", 110), c.status);
    EXPECT_EQ(tcp.message(), c.message);
    EXPECT_EQ(tcp.connected(), c.status == 0);
    const int64_t closePause = c.status == 0 ? 0 : TCPManager::kClosePauseMs;
    EXPECT_GE(clock.monotonicMs() - start - closePause, c.elapsedMs);
    EXPECT_LE(clock.monotonicMs() - start - closePause, c.elapsedMs + kInterruptSliceMs);
    tcp.disconnect();
    EXPECT_EQ(net.openHandles(), 0);
  }
}

}  // namespace
