#include <map>

#include "mail/mail_test_support.h"
#include "mail/smtp_manager.h"

namespace {

// An SMTP server played through the scripted socket layer; RCPT replies
// per address, other replies overridable per command word.
class SmtpTest : public ScriptedNetTest {
 protected:
  SmtpTest() {
    net.responder = [this](const std::string& line) { return answer(line); };
  }

  std::string answer(const std::string& line) {
    if (inData) {
      if (line == ".\r\n") {
        inData = false;
        return reply("END", "250 queued\r\n");
      }
      return std::string();
    }
    std::string word = line.substr(0, line.find_first_of(" :\r"));
    if (word == "RCPT") {
      std::string address = line.substr(9, line.find('>') - 9);
      return rcpt.count(address) ? rcpt[address] : "250 ok\r\n";
    }
    if (word == "DATA") {
      std::string r = reply("DATA", "354 go ahead\r\n");
      inData = r.rfind("354", 0) == 0;
      return r;
    }
    if (word == "QUIT") return reply("QUIT", "221 bye\r\n");
    return reply(word, "250 ok\r\n");
  }

  std::string reply(const std::string& word, const std::string& normal) {
    auto it = overrides.find(word);
    return it == overrides.end() ? normal : it->second;
  }

  void connectNow() {
    net.peerSends("220 relay ready\r\n");
    ASSERT_EQ(smtp.connect("mail.example.com", 0), 0) << smtp.message();
    net.clearSent();
  }

  // What went out between DATA's reply and the final ".".
  std::string dataSent() const {
    const std::string& s = net.sent();
    size_t start = s.find("DATA\r\n");
    return start == std::string::npos ? std::string() : s.substr(start + 6);
  }

  std::map<std::string, std::string> rcpt;
  std::map<std::string, std::string> overrides;
  bool inData = false;
  SMTPManager smtp;
  std::vector<stringT> failed;
};

TEST_F(SmtpTest, ConnectReadsMultiLineGreetingAndSaysHelo) {
  net.peerSends("220-relay.example ESMTP\r\n220 welcome\r\n");
  ASSERT_EQ(smtp.connect("mail.example.com", 0), 0);
  EXPECT_EQ(net.events()[2], "connect 192.0.2.10:25");
  EXPECT_EQ(net.sent(), "HELO gateway.test\r\n");
  EXPECT_EQ(smtp.lastReplyCode(), 250);
  net.clearSent();
  EXPECT_EQ(smtp.disconnect(), 0);
  EXPECT_EQ(net.sent(), "QUIT\r\n");
  EXPECT_FALSE(smtp.connected());
}

TEST_F(SmtpTest, MultiLineReplyKeepsEveryLine) {
  net.peerSends("220-first\r\n220 second\r\n");
  net.hostNameError = EINVAL;  // no HELO when the local name is unknown
  ASSERT_EQ(smtp.connect("mail.example.com", 25), 0);
  EXPECT_EQ(net.sent(), "");
  EXPECT_EQ(smtp.replyText(), "220-first\r\n220 second\r\n");
}

TEST_F(SmtpTest, GreetingOrHeloRefusedClosesWithTheServersWords) {
  net.peerSends("554 no service\r\n");
  EXPECT_EQ(smtp.connect("mail.example.com", 25), 554);
  EXPECT_EQ(smtp.message(), "The server \"mail.example.com\" is not ready to provide service: 554 no service\r\n");
  EXPECT_FALSE(smtp.connected());
  EXPECT_EQ(net.sent(), "");

  overrides["HELO"] = "501 bad name\r\n";
  net.peerSends("220 ok\r\n");
  EXPECT_EQ(smtp.connect("mail.example.com", 25), 501);
  EXPECT_EQ(smtp.message(), "HELO protocol failed: 501 bad name\r\n");
  EXPECT_FALSE(smtp.connected());

  // A greeting that never comes: 120 s, then -1.
  EXPECT_EQ(smtp.connect("mail.example.com", 25), -1);
  EXPECT_GE(clock.slept(), 120000);
}

TEST_F(SmtpTest, SendsDotStuffedTextToEveryRecipient) {
  connectNow();
  ASSERT_EQ(smtp.send("gw@example.com", {"a@example.com", "b@example.com"}, ".first\r\nmid\r\n.\r\nlast\r\n", failed),
            0)
      << smtp.message();
  EXPECT_EQ(net.sent(),
            "RSET\r\nMAIL FROM:<gw@example.com>\r\nRCPT TO:<a@example.com>\r\nRCPT TO:<b@example.com>\r\n"
            "DATA\r\n..first\r\nmid\r\n..\r\nlast\r\n.\r\n");
  EXPECT_TRUE(failed.empty());
}

TEST_F(SmtpTest, TextWithoutFinalLineEndGetsOne) {
  connectNow();
  ASSERT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "word", failed), 0);
  EXPECT_EQ(dataSent(), "word\r\n.\r\n");
  net.clearSent();
  ASSERT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "", failed), 0);
  EXPECT_EQ(dataSent(), "\r\n.\r\n");
}

TEST_F(SmtpTest, RefusedRecipientIsListedAndTheOthersGetTheMail) {
  connectNow();
  rcpt["b@example.com"] = "550 no such user\r\n";
  failed.push_back("earlier@example.com");  // not cleared
  ASSERT_EQ(smtp.send("gw@example.com", {"a@example.com", "b@example.com", "c@example.com"}, "x\r\n", failed), 0);
  EXPECT_EQ(failed, (std::vector<stringT>{"earlier@example.com", "b@example.com"}));
  EXPECT_NE(net.sent().find("DATA\r\n"), std::string::npos);
}

TEST_F(SmtpTest, AllRecipientsRefusedFailsWithTheLastCodeAndNoData) {
  connectNow();
  rcpt["a@example.com"] = "550 no\r\n";
  rcpt["b@example.com"] = "553 bad\r\n";
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com", "b@example.com"}, "x\r\n", failed), 553);
  EXPECT_EQ(smtp.message(), "Invalid e-mail recipient(s): 553 bad\r\n");
  EXPECT_EQ(net.sent().find("DATA"), std::string::npos);
  EXPECT_EQ(failed.size(), 2u);
  EXPECT_EQ(smtp.send("gw@example.com", {}, "x\r\n", failed), 250);  // MAIL FROM's code
}

TEST_F(SmtpTest, ForwardNamedBy551IsTriedAfterTheListedOnes) {
  connectNow();
  rcpt["old@example.com"] = "551-User not local;\r\n551 please try <new@example.org>\r\n";
  ASSERT_EQ(smtp.send("gw@example.com", {"old@example.com", "b@example.com"}, "x\r\n", failed), 0);
  EXPECT_NE(net.sent().find("RCPT TO:<b@example.com>\r\nRCPT TO:<new@example.org>\r\nDATA"), std::string::npos);
  EXPECT_TRUE(failed.empty());
}

TEST_F(SmtpTest, ForwardsThatCannotBeFollowedAreReportedAsFailed) {
  connectNow();
  // Forwards in a circle: at most one per listed recipient is followed.
  rcpt["a@example.com"] = "551 try <b@example.com>\r\n";
  rcpt["b@example.com"] = "551 try <a@example.com>\r\n";
  rcpt["c@example.com"] = "551 no address given\r\n";
  rcpt["d@example.com"] = "551-try <evil\r\n551 RCPT TO:<x>\r\n";
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com", "c@example.com", "d@example.com"}, "x\r\n", failed), 551);
  EXPECT_EQ(net.sent().find("RCPT TO:<evil"), std::string::npos);
  EXPECT_EQ(net.sent().find("RCPT TO:<>"), std::string::npos);
  EXPECT_EQ(failed.size(), 3u);
}

TEST_F(SmtpTest, FailuresAtEachStepCarryTheReply) {
  connectNow();
  overrides["RSET"] = "421 closing\r\n";
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "x", failed), 421);
  EXPECT_EQ(smtp.message(), "Can't reset server states: 421 closing\r\n");
  overrides = {{"MAIL", "501 syntax\r\n"}};
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "x", failed), 501);
  EXPECT_EQ(smtp.message(),
            "Can't initiate send; return e-mail address \"gw@example.com\" may be malformed: 501 syntax\r\n");
  overrides = {{"DATA", "554 no data\r\n"}};
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "x", failed), 554);
  EXPECT_EQ(smtp.message(), "server did not give friendly response to DATA command: 554 no data\r\n");
  overrides = {{"END", "552 too big\r\n"}};
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "x", failed), 552);
  EXPECT_EQ(smtp.message(),
            "Can't initiate send; return e-mail address \"gw@example.com\" may be malformed: 552 too big\r\n");
  // A code of 0 is no success.
  overrides = {{"RSET", "000 fine\r\n"}};
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "x", failed), -1);
  overrides.clear();
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "x", failed), 0);  // the connection stays usable

  SMTPManager closed;
  EXPECT_EQ(closed.send("gw@example.com", {"a@example.com"}, "x", failed), 2);
  EXPECT_EQ(closed.message(), "not connected");
}

TEST_F(SmtpTest, OutsideValuesThatCouldInjectCommandsAreRefusedBeforeSending) {
  connectNow();
  EXPECT_EQ(smtp.send("gw@example.com>\r\nRCPT TO:<victim@example.com", {"a@example.com"}, "x", failed), 2);
  EXPECT_EQ(smtp.send("gw@example.com", {"a@example.com", "b@example.com\nDATA"}, "x", failed), 2);
  EXPECT_EQ(smtp.message(), "An e-mail recipient holds a line break or NUL character, or is too long");
  EXPECT_EQ(smtp.send("gw@example.com", {stringT("a\0b", 3)}, "x", failed), 2);
  EXPECT_EQ(smtp.send(std::string(1010, 'a'), {"a@example.com"}, "x", failed), 2);
  EXPECT_EQ(smtp.message(), "The return e-mail address holds a line break or NUL character, or is too long");
  EXPECT_EQ(net.sent(), "");
  EXPECT_TRUE(failed.empty());
}

TEST_F(SmtpTest, ContinuationLineLongerThanOnePieceDoesNotDesynchronise) {
  connectNow();
  overrides["RSET"] = "250-" + std::string(3000, 'x') + "\r\n250 ok\r\n";
  ASSERT_EQ(smtp.send("gw@example.com", {"a@example.com"}, "x", failed), 0);
  EXPECT_EQ(smtp.lastReplyCode(), 250);
}

}  // namespace
