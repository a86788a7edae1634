// The mail clients against servers that hold them: a connect that is never
// answered, a TLS handshake that stalls (POP3S, STLS, SMTPS, STARTTLS), a
// CAPA or EHLO reply without end. A run's stop request or deadline (the
// read interrupt) must end each within one wait slice, and the endless
// replies must end by themselves.
#include <chrono>
#include <memory>

#include "mail/mail_test_support.h"
#include "mail/pop3_manager.h"
#include "mail/smtp_manager.h"
#include "mail/tcp_line_io.h"
#include "platform/blackhole.h"

namespace {

// --- a TLS handshake that the server never answers ---

// A scripted peer of its own for each case: what one case left unread
// must not reach the next.
struct FreshPeer {
  FreshPeer() {
    net.addHost("mail.example.com", "192.0.2.10");
    setSockets(&net);
  }
  ~FreshPeer() { setSockets(nullptr); }
  ScriptedSockets net;
};

class StalledHandshake : public ::testing::Test {
 protected:
  // After the reply that starts TLS the peer says nothing more.
  static void answer(ScriptedSockets& net, std::map<std::string, std::string> replies) {
    auto tls = std::make_shared<bool>(false);
    net.responder = [tls, replies](const std::string& line) {
      if (*tls) return std::string();
      std::string word = line.substr(0, line.find_first_of(" \r"));
      auto it = replies.find(word);
      if (word == "STLS" || word == "STARTTLS") *tls = true;
      return it == replies.end() ? std::string() : it->second;
    };
  }
  FakeClock clock;
};

TEST_F(StalledHandshake, EveryTlsStartHearsTheReadInterrupt) {
  struct Case {
    const char* name;
    bool pop3;
    TransportSecurity security;
    std::string greeting;
    std::map<std::string, std::string> replies;
    uint16_t port;
  };
  const Case cases[] = {
      {"POP3S", true, TransportSecurity::Tls, "", {}, 995},
      {"POP3 STLS", true, TransportSecurity::StartTls, "+OK ready\r\n",
       {{"CAPA", "+OK\r\nSTLS\r\n.\r\n"}, {"STLS", "+OK begin TLS\r\n"}}, 110},
      {"SMTPS", false, TransportSecurity::Tls, "", {}, 465},
      {"SMTP STARTTLS", false, TransportSecurity::StartTls, "220 ready\r\n",
       {{"EHLO", "250-mail.example.com\r\n250 STARTTLS\r\n"}, {"STARTTLS", "220 go ahead\r\n"}}, 25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshPeer peer;
    ScriptedSockets& net = peer.net;
    answer(net, c.replies);
    if (!c.greeting.empty()) net.peerSends(c.greeting);
    const int64_t stopAt = clock.monotonicMs() + 3000;
    ReadInterruptScope interrupt([&] { return clock.monotonicMs() >= stopAt; });
    int rc = 0;
    stringT message;
    if (c.pop3) {
      POP3Manager pop;
      pop.setSecurity(c.security);
      rc = pop.connect("mail.example.com", 0);
      if (rc == 0) rc = pop.login("gateway", "secret");
      message = pop.message();
    } else {
      SMTPManager smtp;
      smtp.setSecurity(c.security);
      rc = smtp.connect("mail.example.com", 0);
      message = smtp.message();
    }
    EXPECT_NE(rc, 0);
    EXPECT_EQ(message, stringT::format("TLS with mail.example.com:%u was interrupted", unsigned(c.port)));
    // Heard within one slice of the stop, not at the 60 s handshake limit.
    EXPECT_LE(clock.monotonicMs() - stopAt, kInterruptSliceMs + TCPManager::kClosePauseMs);
    EXPECT_EQ(net.openHandles(), 0);
  }
}

TEST_F(StalledHandshake, WithoutAnInterruptTheHandshakeHasItsOwnLimit) {
  FreshPeer peer;
  POP3Manager pop;
  pop.setSecurity(TransportSecurity::Tls);
  const int64_t start = clock.monotonicMs();
  EXPECT_EQ(pop.connect("mail.example.com", 0), 2);
  EXPECT_EQ(pop.message(), "TLS with mail.example.com:995 failed: no answer to the TLS handshake in time");
  EXPECT_EQ(clock.monotonicMs() - start, TCPManager::kHandshakeMs + TCPManager::kClosePauseMs);
}

// --- the same against real sockets: a loopback peer that stalls ---

// A listener on 127.0.0.1 that accepts connections and never says a word.
class SilentListener {
 public:
  SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0) {
      socklen_t len = sizeof a;
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
      port_ = ntohs(a.sin_port);
    }
  }
  ~SilentListener() { ::close(fd_); }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// Real sockets and the real clock; the interrupt says stop after 300 ms.
class StalledPeer : public ::testing::Test {
 protected:
  static constexpr auto kStopAfter = std::chrono::milliseconds(300);
  bool stop() const { return std::chrono::steady_clock::now() - start >= kStopAfter; }
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  }
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

TEST_F(StalledPeer, StalledTlsHandshakeEndsAtTheStopRequest) {
  SilentListener server;
  ASSERT_NE(server.port(), 0);
  POP3Manager pop;
  pop.setSecurity(TransportSecurity::Tls);
  ReadInterruptScope interrupt([this] { return stop(); });
  EXPECT_EQ(pop.connect("127.0.0.1", server.port()), 2);
  EXPECT_EQ(pop.message(), stringT::format("TLS with 127.0.0.1:%u was interrupted", unsigned(server.port())));
  // The stop, one slice, and the 1 s pause of the close.
  EXPECT_LT(elapsed(), std::chrono::milliseconds(2500)) << elapsed().count() << " ms";
}

TEST_F(StalledPeer, ConnectNeverAnsweredEndsAtTheStopRequest) {
  BlackholePort blackhole;
  if (!blackhole.ready()) GTEST_SKIP() << "the listener's queue could not be filled";
  start = std::chrono::steady_clock::now();
  TCPManager tcp;
  ReadInterruptScope interrupt([this] { return stop(); });
  EXPECT_EQ(tcp.connect("127.0.0.1", blackhole.port()), 2);
  EXPECT_EQ(tcp.message(), stringT::format("Connecting to 127.0.0.1:%u was interrupted", unsigned(blackhole.port())));
  EXPECT_FALSE(tcp.connected());
  EXPECT_LT(elapsed(), std::chrono::milliseconds(2500)) << elapsed().count() << " ms";
}

// --- replies without end ---

class EndlessReply : public ::testing::Test {
 protected:
  FakeClock clock;
};

TEST_F(EndlessReply, CapaAndEhloRepliesAreBoundedInLinesAndTime) {
  // POP3: CAPA that lists without end, fast or slowly; STLS is asked for,
  // so CAPA is read before any password goes out.
  struct Case {
    const char* name;
    int64_t pauseMs;  // before each line
    const char* message;
  };
  const Case cases[] = {
      {"fast", 0, "The mail server mail.example.com:110 sent more than 256 lines in answer to CAPA"},
      {"slow", 50 * 1000, "The mail server did not answer CAPA within 60 seconds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshPeer peer;
    ScriptedSockets& net = peer.net;
    net.responder = [&](const std::string& line) {
      if (line.rfind("CAPA", 0) != 0) return std::string();
      net.peerSends("+OK here they come\r\n");
      for (int i = 0; i < 5000; ++i) {
        if (c.pauseMs) net.peerPauses(c.pauseMs);
        net.peerSends("X-CAPABILITY-" + std::to_string(i) + "\r\n");
      }
      return std::string();
    };
    net.peerSends("+OK ready\r\n");
    POP3Manager pop;
    pop.setSecurity(TransportSecurity::StartTls);
    ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
    const int64_t start = clock.monotonicMs();
    EXPECT_EQ(pop.login("gateway", "secret"), 2);
    EXPECT_EQ(pop.message(), c.message);
    EXPECT_LE(clock.monotonicMs() - start, POP3Manager::kReplySeconds * 1000);
    EXPECT_EQ(net.sent().find("PASS"), std::string::npos);
    pop.disconnect();
  }

  // SMTP: "250-" lines without end.
  FreshPeer peer;
  ScriptedSockets& net = peer.net;
  net.responder = [&](const std::string& line) {
    if (line.rfind("EHLO", 0) != 0) return std::string();
    for (int i = 0; i < 5000; ++i) net.peerSends("250-X" + std::to_string(i) + "\r\n");
    return std::string();
  };
  net.peerSends("220 ready\r\n");
  SMTPManager smtp;
  smtp.setSecurity(TransportSecurity::StartTls);
  const int64_t start = clock.monotonicMs();
  EXPECT_EQ(smtp.connect("mail.example.com", 0), -1);
  const std::string message = smtp.message().str();
  EXPECT_EQ(message.rfind("EHLO protocol failed: the reply was too long (250-X0\r\n", 0), 0u) << message.substr(0, 80);
  EXPECT_LE(clock.monotonicMs() - start, SMTPManager::kReplySeconds * 1000 + TCPManager::kClosePauseMs);
}

}  // namespace
