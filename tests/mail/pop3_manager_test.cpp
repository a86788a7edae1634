#include <map>

#include "mail/mail_test_support.h"
#include "mail/pop3_manager.h"

namespace {

// A POP3 server played through the scripted socket layer. Replies can be
// overridden per command word ("USER", "PASS", ...).
class Pop3Test : public ScriptedNetTest {
 protected:
  Pop3Test() {
    net.responder = [this](const std::string& line) { return answer(line); };
  }

  std::string answer(const std::string& line) {
    std::string word = line.substr(0, line.find_first_of(" \r"));
    commands.push_back(line);
    if (auto it = overrides.find(word); it != overrides.end()) return it->second;
    int n = std::atoi(line.c_str() + word.size());
    if (word == "USER" || word == "PASS") return "+OK\r\n";
    if (word == "STAT") return "+OK " + std::to_string(mailbox.size()) + " 1234\r\n";
    if (word == "LIST") return mailbox.count(n) ? "+OK " + std::to_string(n) + " 99\r\n" : "-ERR no such message\r\n";
    if (word == "RETR") return mailbox.count(n) ? "+OK\r\n" + mailbox[n] + ".\r\n" : "-ERR no such message\r\n";
    if (word == "DELE") return "+OK\r\n";
    if (word == "QUIT") return "+OK bye\r\n";
    return "-ERR unknown\r\n";
  }

  void connectAndLogin() {
    net.peerSends("+OK ready\r\n");
    ASSERT_EQ(pop.connect("mail.example.com", 0), 0);
    ASSERT_EQ(pop.login("gateway", "secret"), 0) << pop.message();
  }

  std::map<int, std::string> mailbox;
  std::map<std::string, std::string> overrides;
  std::vector<std::string> commands;
  POP3Manager pop;
};

TEST_F(Pop3Test, FullSessionDownloadsDeletesAndQuits) {
  mailbox[1] = "From: a@example.com\r\nSubject: one\r\n\r\nfirst\r\n";
  mailbox[2] = "Subject: two\r\n\r\n..leading dot\r\n..\r\n";  // stuffed lines
  connectAndLogin();
  EXPECT_EQ(net.events()[2], "connect 192.0.2.10:110");  // port 0 means 110
  EXPECT_EQ(pop.messageCount(), 2);
  EXPECT_EQ(pop.mailboxSize(), 1234);
  ASSERT_EQ(pop.retrieveAll(), 0);
  ASSERT_EQ(pop.deleteAll(), 0);
  ASSERT_EQ(pop.logout(), 0);
  EXPECT_FALSE(pop.connected());
  EXPECT_EQ(net.sent(),
            "USER gateway\r\nPASS secret\r\nSTAT\r\nLIST 1\r\nRETR 1\r\nLIST 2\r\nRETR 2\r\n"
            "DELE 1\r\nDELE 2\r\nQUIT\r\n");

  MailMessage m;
  ASSERT_EQ(pop.getMessage(2, m), 0);
  EXPECT_EQ(m.rawText(), "Subject: two\r\n\r\n.leading dot\r\n.\r\n");
  EXPECT_EQ(m.header("subject"), "two");
  ASSERT_EQ(pop.getMessage(1, m), 0);  // from the cache: nothing sent while closed
  EXPECT_EQ(m.body(), "first\r\n");
  pop.clearCache();
  EXPECT_EQ(pop.messageCount(), 0);
  EXPECT_EQ(pop.cachedCount(), 0u);
}

TEST_F(Pop3Test, EmptyMailboxSendsNoListRetrOrDele) {
  connectAndLogin();
  EXPECT_EQ(pop.retrieveAll(), 0);
  EXPECT_EQ(pop.deleteAll(), 0);
  EXPECT_EQ(net.sent(), "USER gateway\r\nPASS secret\r\nSTAT\r\n");
}

TEST_F(Pop3Test, MessageWhoseFirstLineIsTheTerminatorIsEmpty) {
  mailbox[1] = "";
  connectAndLogin();
  ASSERT_EQ(pop.retrieve(1), 0);
  MailMessage m;
  ASSERT_EQ(pop.getMessage(1, m), 0);
  EXPECT_EQ(m.rawText(), "");
}

TEST_F(Pop3Test, LongTextLinesAndNulBytesSurviveTheDownload) {
  std::string longLine = std::string(3000, 'q') + "\r\n";
  mailbox[1] = "Subject: x\r\n\r\n" + longLine + std::string(".\0.\r\n", 5);
  connectAndLogin();
  ASSERT_EQ(pop.retrieve(1), 0);
  MailMessage m;
  ASSERT_EQ(pop.getMessage(1, m), 0);
  // Only the dot at a line start is removed, not one inside a long line.
  EXPECT_EQ(m.body(), longLine + ".\r\n");
}

TEST_F(Pop3Test, RejectedAccountNameQuotesAccountAndReply) {
  overrides["USER"] = "-ERR who?\r\n";
  net.peerSends("+OK ready\r\n");
  ASSERT_EQ(pop.connect("mail.example.com", 110), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(pop.message(),
            "The mail server is rejecting the e-mail Account name \"gateway\". Please verify the account name "
            "(-ERR who?\r\n)");
  EXPECT_TRUE(pop.greeted());
  EXPECT_FALSE(pop.loggedIn());
}

TEST_F(Pop3Test, SecondLoginAfterWrongPasswordStartsAtUser) {
  overrides["PASS"] = "-ERR [AUTH] Authentication failed.\r\n";
  net.peerSends("+OK ready\r\n");
  ASSERT_EQ(pop.connect("mail.example.com", 110), 0);
  EXPECT_EQ(pop.login("gateway", "wrong"), 2);
  EXPECT_EQ(pop.message(),
            "The mail server is rejecting the e-mail Account password.  Please verify the account password "
            "(-ERR [AUTH] Authentication failed.\r\n)");
  overrides.clear();
  net.clearSent();
  EXPECT_EQ(pop.login("gateway", "secret"), 0);
  EXPECT_EQ(net.sent().substr(0, 14), "USER gateway\r\n");
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(pop.message(), "already logged in");
}

TEST_F(Pop3Test, GreetingFailures) {
  net.peerSends("-ERR go away\r\n");
  ASSERT_EQ(pop.connect("mail.example.com", 110), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(pop.message(), "greeting failed (-ERR go away\r\n)");
  EXPECT_EQ(pop.disconnect(), 0);

  // A greeting that never comes: 60 s, then an empty reply.
  ASSERT_EQ(pop.connect("mail.example.com", 110), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(pop.message(), "greeting failed ()");
  EXPECT_GE(clock.slept(), 60000);
  EXPECT_TRUE(pop.connected());  // the caller decides
  EXPECT_EQ(net.sent(), "");

  POP3Manager closed;
  EXPECT_EQ(closed.login("gateway", "secret"), 2);
  EXPECT_EQ(closed.message(), "not connected");
  EXPECT_EQ(closed.retrieve(1), 2);
  EXPECT_EQ(closed.message(), "not logged in");
  EXPECT_EQ(closed.deleteMessage(1), 2);
  EXPECT_EQ(closed.logout(), 0);
}

TEST_F(Pop3Test, NegativeRepliesAtEachStep) {
  mailbox[1] = "x\r\n";
  connectAndLogin();
  overrides["LIST"] = "-ERR list\r\n";
  EXPECT_EQ(pop.retrieve(1), 2);
  EXPECT_EQ(pop.message(), "failed to list message (-ERR list\r\n)");
  overrides = {{"RETR", "-ERR retr\r\n"}};
  EXPECT_EQ(pop.retrieve(1), 2);
  EXPECT_EQ(pop.message(), "failed to retrieve message (-ERR retr\r\n)");
  overrides = {{"DELE", "-ERR dele\r\n"}};
  EXPECT_EQ(pop.deleteMessage(1), 2);
  EXPECT_EQ(pop.message(), "failed to delete message on server (-ERR dele\r\n)");
  // A listing of another message than the one asked for is not followed.
  overrides = {{"LIST", "+OK 7 10\r\n"}};
  EXPECT_EQ(pop.retrieve(1), 2);
  EXPECT_EQ(pop.message(), "failed to list message (+OK 7 10\r\n)");
  EXPECT_EQ(pop.cachedCount(), 0u);
  overrides = {{"QUIT", "-ERR not now\r\n"}};
  EXPECT_EQ(pop.logout(), 0);
  EXPECT_EQ(pop.message(), " (-ERR not now\r\n)");
  EXPECT_TRUE(pop.connected());
  EXPECT_TRUE(pop.loggedIn());
}

TEST_F(Pop3Test, FailedDeleteInABatchKeepsTheSessionInStep) {
  for (int i = 1; i <= 40; ++i) mailbox[i] = "m\r\n";
  connectAndLogin();
  net.responder = [this](const std::string& line) {
    return line == "DELE 2\r\n" ? std::string("-ERR locked\r\n") : answer(line);
  };
  EXPECT_EQ(pop.deleteAll(), 2);
  EXPECT_EQ(pop.message(), "failed to delete message on server (-ERR locked\r\n)");
  EXPECT_EQ(net.sent().find("DELE 33"), std::string::npos);  // no further batch
  net.clearSent();
  EXPECT_EQ(pop.logout(), 0);
  EXPECT_EQ(net.sent(), "QUIT\r\n");
  EXPECT_FALSE(pop.connected());  // the QUIT reply was read, not a stale DELE reply
}

TEST_F(Pop3Test, RetrieveAllAsksAheadAndStaysInStepAfterAFailure) {
  for (int i = 1; i <= 12; ++i)
    if (i != 3) mailbox[i] = "Subject: " + std::to_string(i) + "\r\n\r\nbody\r\n";
  overrides["STAT"] = "+OK 12 1234\r\n";
  connectAndLogin();
  net.clearSent();
  EXPECT_EQ(pop.retrieveAll(), 2);
  EXPECT_EQ(pop.message(), "failed to list message (-ERR no such message\r\n)");
  // Eight messages ahead of the one being read were asked for (1..8, then
  // 9 and 10 as 1 and 2 came in); none after the failure at 3.
  EXPECT_NE(net.sent().find("RETR 10\r\n"), std::string::npos);
  EXPECT_EQ(net.sent().find("LIST 11"), std::string::npos);
  EXPECT_EQ(pop.cachedCount(), 2u);
  // The replies to 4..10 were read and dropped: the next command gets its own.
  ASSERT_EQ(pop.retrieve(11), 0) << pop.message();
  MailMessage m;
  ASSERT_EQ(pop.getMessage(11, m), 0);
  EXPECT_EQ(m.header("subject"), "11");
}

TEST_F(Pop3Test, RetrieveAllStopsAtALostConnectionWithoutWaitingForTheRest) {
  for (int i = 1; i <= 5; ++i) mailbox[i] = "m\r\n";
  connectAndLogin();
  net.responder = [this](const std::string& line) {
    if (line == "RETR 2\r\n") {
      net.peerSends("+OK\r\nhalf");
      net.peerCloses();
      return std::string();
    }
    return answer(line);
  };
  int64_t before = clock.slept();
  EXPECT_EQ(pop.retrieveAll(), 2);
  EXPECT_EQ(pop.message(), "connection lost -- reading failure");
  EXPECT_EQ(pop.cachedCount(), 1u);
  EXPECT_EQ(clock.slept(), before);
}

TEST_F(Pop3Test, StatRejectedOrUnreadable) {
  overrides["STAT"] = "-ERR stat\r\n";
  net.peerSends("+OK ready\r\n");
  ASSERT_EQ(pop.connect("mail.example.com", 110), 0);
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_EQ(pop.message(), "failed to get mailbox status (-ERR stat\r\n)");
  // A count that does not fit is no count: the login fails rather than
  // finding an empty mailbox.
  overrides["STAT"] = "+OK 99999999999 5\r\n";
  EXPECT_EQ(pop.login("gateway", "secret"), 2);
  EXPECT_FALSE(pop.loggedIn());
  EXPECT_EQ(pop.messageCount(), 0);
}

TEST_F(Pop3Test, ConnectionLostMidMessage) {
  connectAndLogin();
  overrides["RETR"] = "+OK\r\nSubject: cut\r\n\r\nhalf a li";
  net.responder = [this](const std::string& line) {
    net.peerSends(answer(line));
    if (line.rfind("RETR", 0) == 0) net.peerCloses();
    return std::string();
  };
  mailbox[1] = "unused\r\n";
  EXPECT_EQ(pop.retrieve(1), 2);
  EXPECT_EQ(pop.message(), "connection lost -- reading failure");
  EXPECT_EQ(pop.cachedCount(), 0u);
}

TEST_F(Pop3Test, SilentServerMidMessageTimesOutAfterTenSeconds) {
  connectAndLogin();
  overrides["RETR"] = "+OK\r\nSubject: slow\r\n";
  mailbox[1] = "unused\r\n";
  int64_t before = clock.slept();
  EXPECT_EQ(pop.retrieve(1), 2);
  EXPECT_EQ(pop.message(), "connection lost -- reading failure");
  EXPECT_EQ(clock.slept() - before, 10000);
}

TEST_F(Pop3Test, LineBreaksInAccountOrPasswordAreRefusedBeforeAnythingIsSent) {
  net.peerSends("+OK ready\r\n");
  ASSERT_EQ(pop.connect("mail.example.com", 110), 0);
  EXPECT_EQ(pop.login("gateway\r\nDELE 1", "secret"), 2);
  EXPECT_EQ(pop.message(), "The e-mail Account name holds a carriage return, line feed or NUL character");
  EXPECT_EQ(pop.login("gateway", stringT("se\0cret", 7)), 2);
  EXPECT_EQ(pop.message(), "The e-mail Account password holds a carriage return, line feed or NUL character");
  EXPECT_EQ(pop.login("gateway", "x\ny"), 2);
  EXPECT_EQ(net.sent(), "");
  EXPECT_FALSE(pop.greeted());

  // A name too long for the send buffer is refused, not cut.
  EXPECT_EQ(pop.login(std::string(1100, 'a'), "secret"), 2);
  EXPECT_EQ(pop.message(), "The command is too long to send to the mail server");
  EXPECT_EQ(net.sent(), "");
}

TEST_F(Pop3Test, GetMessageDownloadsWhatIsNotCached) {
  mailbox[1] = "Subject: late\r\n\r\nbody\r\n";
  connectAndLogin();
  MailMessage m;
  ASSERT_EQ(pop.getMessage(1, m), 0);
  EXPECT_EQ(m.header("subject"), "late");
  net.clearSent();
  ASSERT_EQ(pop.getMessage(1, m), 0);
  EXPECT_EQ(net.sent(), "");
  EXPECT_EQ(pop.getMessage(5, m), 2);
  EXPECT_EQ(pop.message(), "failed to list message (-ERR no such message\r\n)");
}

}  // namespace
