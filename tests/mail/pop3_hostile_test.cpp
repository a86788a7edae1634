// The POP3 client against servers that misbehave: message text that
// imitates a terminator, messages too large, downloads that stall or
// trickle, replies that never come or carry control characters.
#include <map>

#include "mail/capabilities.h"
#include "mail/mail_test_support.h"
#include "mail/pop3_manager.h"
#include "mail/tcp_line_io.h"

namespace {

// A server that sends every message exactly as given (no dot-stuffing,
// bare LF kept), like the hostile test server.
class HostilePop3Test : public ScriptedNetTest {
 protected:
  HostilePop3Test() {
    net.responder = [this](const std::string& line) {
      std::string word = line.substr(0, line.find_first_of(" \r"));
      int n = std::atoi(line.c_str() + word.size());
      if (auto it = overrides.find(word); it != overrides.end()) return it->second;
      if (word == "USER" || word == "PASS" || word == "DELE") return std::string("+OK\r\n");
      if (word == "STAT") return "+OK " + std::to_string(mailbox.size()) + " 500\r\n";
      if (word == "LIST")
        return mailbox.count(n) ? "+OK " + std::to_string(n) + " " + std::to_string(mailbox[n].size()) + "\r\n"
                                : std::string("-ERR no such message\r\n");
      if (word == "RETR") return mailbox.count(n) ? "+OK\r\n" + mailbox[n] + ".\r\n" : std::string("-ERR no\r\n");
      if (word == "QUIT") return std::string("+OK bye\r\n");
      return std::string("-ERR unknown\r\n");
    };
  }

  void connectAndLogin() {
    net.peerSends("+OK ready\r\n");
    ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
    ASSERT_EQ(pop.login("gateway", "secret"), 0) << pop.message();
  }

  std::map<int, std::string> mailbox;
  std::map<std::string, std::string> overrides;
  POP3Manager pop;
  FetchLimits limits;
};

// The message of the hostile server's bare-LF mode: "\n.\r\n" inside it,
// followed by text that imitates the replies to the next commands and a
// forged message.
const std::string kForging =
    "From: \"Attacker\" <attacker@example.org>\r\nSubject: first\r\n\r\nhello\n.\r\n+OK 2 230\r\n+OK\r\n"
    "From: \"Forged CEO\" <jane.adams@tarnwick-demo.example>\r\nSubject: injected message\r\n\r\nforged body\r\n";
const std::string kReal = "From: \"Real Person\" <real2@example.org>\r\nSubject: real second message\r\n\r\nreal body 2\r\n";

TEST_F(HostilePop3Test, BareLfDoesNotEndAMessage) {
  mailbox[1] = kForging;
  mailbox[2] = kReal;
  connectAndLogin();
  FetchedMessage m;
  ASSERT_EQ(pop.fetch(1, limits, m), 0) << pop.message();
  EXPECT_EQ(m.end, FetchEnd::Complete);
  EXPECT_EQ(m.text, kForging);  // one message, the bare LF and the dot line kept as data
  ASSERT_EQ(pop.fetch(2, limits, m), 0) << pop.message();
  EXPECT_EQ(m.text, kReal);
  EXPECT_TRUE(pop.inStep());

  // The cached download reads the same way.
  ASSERT_EQ(pop.retrieveAll(), 0) << pop.message();
  MailMessage cached;
  ASSERT_EQ(pop.getMessage(1, cached), 0);
  EXPECT_EQ(cached.rawText(), kForging);
  ASSERT_EQ(pop.getMessage(2, cached), 0);
  EXPECT_EQ(cached.header("subject"), "real second message");
}

TEST_F(HostilePop3Test, CrlfSplitAcrossReadPiecesStillEndsTheLine) {
  // 1021 bytes and CR fill one 1022-byte piece; the LF comes alone, and the
  // dot line after it is the terminator.
  mailbox[1] = std::string(1021, 'a') + "\r\n";
  mailbox[2] = kReal;
  connectAndLogin();
  FetchedMessage m;
  ASSERT_EQ(pop.fetch(1, limits, m), 0) << pop.message();
  EXPECT_EQ(m.text, mailbox[1]);
  ASSERT_EQ(pop.fetch(2, limits, m), 0) << pop.message();
  EXPECT_EQ(m.text, kReal);
}

TEST_F(HostilePop3Test, OversizedMessageIsCutAndTheSessionStaysInStep) {
  mailbox[1] = "Subject: big\r\n\r\n" + std::string(5000, 'b') + "\r\n";
  mailbox[2] = kReal;
  limits.maxBytes = 100;
  connectAndLogin();
  FetchedMessage m;
  ASSERT_EQ(pop.fetch(1, limits, m), 0) << pop.message();
  EXPECT_EQ(m.end, FetchEnd::Cut);
  EXPECT_EQ(m.text, mailbox[1].substr(0, 100));
  EXPECT_EQ(m.octets, mailbox[1].size());
  EXPECT_TRUE(m.headerComplete);
  EXPECT_EQ(m.listedSize, static_cast<int>(mailbox[1].size()));
  ASSERT_EQ(pop.fetch(2, limits, m), 0) << pop.message();
  EXPECT_EQ(m.end, FetchEnd::Complete);
  EXPECT_EQ(m.text, kReal);

  // The cached download refuses a message above its own limit, in step too.
  EXPECT_EQ(pop.retrieve(1), 0);  // 5 KB is far below the cache limit
}

TEST_F(HostilePop3Test, StalledDownloadKeepsOnlyACompleteHeader) {
  mailbox[1] = "listed\r\n";
  connectAndLogin();
  overrides["RETR"] = "+OK\r\nFrom: a@example.org\r\nSubject: stalled\r\n\r\nfirst body li";
  FetchedMessage m;
  EXPECT_EQ(pop.fetch(1, limits, m), 2);
  EXPECT_EQ(m.end, FetchEnd::TimedOut);
  EXPECT_TRUE(m.headerComplete);
  EXPECT_EQ(m.text, "From: a@example.org\r\nSubject: stalled\r\n\r\n");
  EXPECT_EQ(pop.message(), "The download of message 1 timed out");
  EXPECT_FALSE(pop.inStep());
  EXPECT_EQ(pop.fetch(2, limits, m), 2);  // nothing more is asked of a session out of step
  EXPECT_EQ(m.end, FetchEnd::Lost);
}

TEST_F(HostilePop3Test, StalledDownloadBeforeTheHeaderEndKeepsWhatArrived) {
  // The whole lines that arrived are kept for a caller that gives up on the
  // message (the retrieval run, after three runs); headerComplete says the
  // header is not whole.
  mailbox[1] = "listed\r\n";
  connectAndLogin();
  overrides["RETR"] = "+OK\r\nFrom: a@example.org\r\nSubj";
  FetchedMessage m;
  EXPECT_EQ(pop.fetch(1, limits, m), 2);
  EXPECT_EQ(m.end, FetchEnd::TimedOut);
  EXPECT_FALSE(m.headerComplete);
  EXPECT_EQ(m.text, "From: a@example.org\r\n");
}

TEST_F(HostilePop3Test, TricklingMessageMeetsItsOwnTimeLimit) {
  mailbox[1] = "listed\r\n";
  // One line every 8 s never trips the 10 s line limit; the message's own
  // limit ends it.
  connectAndLogin();
  overrides["RETR"] = "+OK\r\n";
  net.responder = [this, inner = net.responder](const std::string& line) {
    std::string answer = inner(line);
    if (line.rfind("RETR", 0) == 0) {
      net.peerSends(answer + "From: a@b\r\n");
      for (int i = 0; i < 100; ++i) {
        net.peerPauses(8000);
        net.peerSends("z\r\n");
      }
      return std::string();
    }
    return answer;
  };
  limits.messageMs = 60000;
  int64_t before = clock.monotonicMs();
  FetchedMessage m;
  EXPECT_EQ(pop.fetch(1, limits, m), 2);
  EXPECT_EQ(m.end, FetchEnd::TimedOut);
  EXPECT_GE(clock.monotonicMs() - before, 60000);
  EXPECT_LE(clock.monotonicMs() - before, 61000);
}

TEST_F(HostilePop3Test, ReadInterruptEndsAWaitForTheServer) {
  mailbox[1] = "listed\r\n";
  connectAndLogin();
  overrides["RETR"] = "+OK\r\nFrom: a@b\r\n";  // then silence
  int64_t stopAt = clock.monotonicMs() + 3000;
  ReadInterruptScope interrupt([&] { return clock.monotonicMs() >= stopAt; });
  FetchedMessage m;
  EXPECT_EQ(pop.fetch(1, limits, m), 2);
  EXPECT_EQ(m.end, FetchEnd::Interrupted);
  EXPECT_EQ(pop.message(), "The download was interrupted");
  // Heard within one slice, not at the 10 s line limit.
  EXPECT_LT(clock.monotonicMs() - stopAt, kInterruptSliceMs + 1);
}

TEST_F(HostilePop3Test, TimeoutAfterPassIsReportedAsATimeout) {
  overrides["PASS"] = "";  // no answer at all
  net.peerSends("+OK ready\r\n");
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(pop.message(), "The mail server did not answer PASS within 60 seconds");
  EXPECT_FALSE(pop.loggedIn());
}

TEST_F(HostilePop3Test, ServerBytesInMessagesAreEscaped) {
  overrides["PASS"] = std::string("-ERR \x1b[2J\rno\0pe\r\n", sizeof "-ERR \x1b[2J\rno\0pe\r\n" - 1);
  net.peerSends("+OK ready\r\n");
  ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  // The NUL is dropped by the line reader; ESC and the bare CR are shown,
  // the reply's own line end stays as it was received.
  EXPECT_EQ(pop.message(),
            "The mail server is rejecting the e-mail Account password.  Please verify the account password "
            "(-ERR \\x1B[2J\\x0Dnope\r\n)");
}

TEST_F(HostilePop3Test, DeleteMessagesSendsOnlyTheNumbersGiven) {
  for (int i = 1; i <= 5; ++i) mailbox[i] = "m\r\n";
  connectAndLogin();
  net.clearSent();
  ASSERT_EQ(pop.deleteMessages({2, 4, 5}), 0) << pop.message();
  EXPECT_EQ(net.sent(), "DELE 2\r\nDELE 4\r\nDELE 5\r\n");
  EXPECT_TRUE(pop.inStep());
}

TEST_F(HostilePop3Test, StatReplyMustBeACountAndASize) {
  struct Case {
    const char* reply;
    int count;  // -1: refused
    int size;
  };
  const Case cases[] = {
      {"+OK 2 320\r\n", 2, 320},
      {"+OK 2 320 octets\r\n", 2, 320},
      {"+OK 3 99999999999\r\n", 3, INT32_MAX},  // a mailbox over 2 GB is real
      {"+OK 0 0\r\n", 0, 0},
      {"+OK -5 100\r\n", -1, 0},
      {"+OK 5 -100\r\n", -1, 0},
      {"+OK 99999999999 100\r\n", -1, 0},
      {"+OK\r\n", -1, 0},
      {"+OK 7\r\n", -1, 0},
      {"+OK lots of mail\r\n", -1, 0},
      {"+OK 3x 100\r\n", -1, 0},
      {"+OK3 100\r\n", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    overrides["STAT"] = c.reply;
    net.peerSends("+OK ready\r\n");
    POP3Manager client;
    ASSERT_EQ(client.connect("mail.example.com", 0), 0);
    if (c.count < 0) {
      EXPECT_EQ(client.login("gateway", "secret"), 2);
      EXPECT_EQ(client.message().str(),
                "The mail server mail.example.com:110 gave no valid message count and mailbox size in answer to STAT "
                "(" + std::string(c.reply) + ")");
      EXPECT_FALSE(client.loggedIn());
    } else {
      EXPECT_EQ(client.login("gateway", "secret"), 0) << client.message();
      EXPECT_EQ(client.messageCount(), c.count);
      EXPECT_EQ(client.mailboxSize(), c.size);
    }
    client.disconnect();
  }
}

TEST_F(HostilePop3Test, EchoedSecretsAreHiddenInMessages) {
  const std::string password = "orv-very-secret-pw";
  struct Case {
    const char* name;
    Pop3Login method;
    const char* command;  // whose reply echoes the line we sent
  };
  const Case cases[] = {
      {"PASS", Pop3Login::UserPass, "PASS"},
      {"AUTH PLAIN response", Pop3Login::Plain, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    net.responder = [&](const std::string& line) -> std::string {
      if (line == "AUTH PLAIN\r\n") return "+ \r\n";
      if (line.rfind("USER", 0) == 0) return "+OK\r\n";
      if (line.rfind(c.command, 0) == 0) return "-ERR refused: " + line.substr(0, line.size() - 2) + "\r\n";
      return "-ERR\r\n";
    };
    net.peerSends("+OK ready\r\n");
    POP3Manager client;
    client.setLoginMethod(c.method);
    ASSERT_EQ(client.connect("mail.example.com", 0), 0);
    EXPECT_EQ(client.login("gateway", password), 2);
    const std::string message = client.message().str();
    EXPECT_NE(message.find("[hidden]"), std::string::npos) << message;
    EXPECT_EQ(message.find(password), std::string::npos) << message;
    EXPECT_EQ(message.find(saslPlain("gateway", password).substr(0, 12)), std::string::npos) << message;
    client.disconnect();
  }
}

}  // namespace
