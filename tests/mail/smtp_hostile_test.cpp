// The SMTP client against text and addresses crafted to smuggle: line ends
// that a server might take for the end of data, lines over the limit,
// envelope addresses that carry parameters or name a local user.
#include <algorithm>
#include <functional>
#include <regex>

#include "common/base64.h"
#include "mail/capabilities.h"
#include "mail/envelope_address.h"
#include "mail/mail_test_support.h"
#include "mail/smtp_data.h"
#include "mail/smtp_manager.h"

namespace {

// Every place where a lenient server could see a lone "." line: a dot
// between any two line-end characters.
size_t looseDotLines(const std::string& data) {
  static const std::regex dot("[\r\n]\\.[\r\n]");
  return static_cast<size_t>(std::distance(std::sregex_iterator(data.begin(), data.end(), dot), std::sregex_iterator()));
}

bool everyLineEndsInCrlfWithinTheLimit(const std::string& data) {
  size_t start = 0;
  while (start < data.size()) {
    size_t crlf = data.find("\r\n", start);
    if (crlf == std::string::npos) return false;
    std::string_view line(data.data() + start, crlf - start);
    if (line.find_first_of("\r\n") != std::string_view::npos) return false;
    size_t stuffed = line.size() >= 2 && line[0] == '.' && line[1] == '.' ? 1 : 0;
    if (line.size() - stuffed > kMaxSmtpLine) return false;
    start = crlf + 2;
  }
  return true;
}

TEST(SmtpData, SmtpDataCannotBeSmuggled) {
  const std::string text =
      "Subject: x\r\n\r\nfirst\r.\r\nMAIL FROM:<evil@example.org>\r\nsecond\n.\nRCPT TO:<victim@example.org>\n"
      "third\r\n.\r\nfourth\r\r\nfifth";
  std::string data = smtpDataBytes(text);
  EXPECT_EQ(data,
            "Subject: x\r\n\r\nfirst\r\n..\r\nMAIL FROM:<evil@example.org>\r\nsecond\r\n..\r\nRCPT "
            "TO:<victim@example.org>\r\nthird\r\n..\r\nfourth\r\n\r\nfifth\r\n.\r\n");
  // The terminator is the only dot line, however leniently it is read.
  EXPECT_EQ(looseDotLines(data), 1u);
  EXPECT_EQ(data.substr(data.size() - 5), "\r\n.\r\n");
  EXPECT_TRUE(everyLineEndsInCrlfWithinTheLimit(data));
}

TEST(SmtpData, EndingsOfTheText) {
  EXPECT_EQ(smtpDataBytes(""), "\r\n.\r\n");
  EXPECT_EQ(smtpDataBytes("word"), "word\r\n.\r\n");
  EXPECT_EQ(smtpDataBytes("word\r\n"), "word\r\n.\r\n");
  EXPECT_EQ(smtpDataBytes(".leading\r\n"), "..leading\r\n.\r\n");
  EXPECT_EQ(smtpDataBytes("end\r"), "end\r\n.\r\n");
  EXPECT_EQ(smtpDataBytes("end\n"), "end\r\n.\r\n");
}

TEST(SmtpData, LongHeaderLinesAreFoldedAndBodyLinesWrapped) {
  std::string words;
  while (words.size() < 2500) words += "word" + std::to_string(words.size()) + " ";
  std::string solid(2100, 's');
  std::string body(2500, 'b');
  body[998] = '.';  // a wrapped piece starting with a dot is stuffed
  std::string text = "Subject: " + words + "\r\nX-Solid: " + solid + "\r\n\r\n" + body + "\r\n";
  std::string data = smtpDataBytes(text);
  EXPECT_TRUE(everyLineEndsInCrlfWithinTheLimit(data));

  // Unfolding the header gives it back; folds are at blanks where there are
  // blanks, and a hard fold adds one space where there are none.
  size_t headerEnd = data.find("\r\n\r\n");
  std::string header = data.substr(0, headerEnd + 2);
  const std::regex fold("\r\n(?=[ \t])");
  EXPECT_EQ(std::regex_replace(header.substr(0, header.find("X-Solid")), fold, ""), "Subject: " + words + "\r\n");
  std::string solidOut = std::regex_replace(header.substr(header.find("X-Solid")), fold, "");
  solidOut.erase(std::remove(solidOut.begin(), solidOut.end(), ' '), solidOut.end());
  EXPECT_EQ(solidOut, "X-Solid:" + solid + "\r\n");

  // Body: pieces of 998 octets, content unchanged once the wraps and the
  // stuffed dot are taken out.
  std::string bodyOut = data.substr(headerEnd + 4);
  EXPECT_EQ(bodyOut.substr(0, 1000), body.substr(0, 998) + "\r\n");
  EXPECT_EQ(bodyOut.substr(1000, 3), "..b");
  std::string joined;
  for (size_t p = 0; p < bodyOut.size();) {
    size_t e = bodyOut.find("\r\n", p);
    std::string line = bodyOut.substr(p, e - p);
    if (line.rfind("..", 0) == 0) line.erase(0, 1);
    if (line != ".") joined += line;
    p = e + 2;
  }
  EXPECT_EQ(joined, body);
}

TEST(EnvelopeAddress, EnvelopeAddressesAreWholeAddrSpecs) {
  EXPECT_EQ(envelopeAddressFault("pat@example.org"), -1);
  EXPECT_EQ(envelopeAddressFault("first.last+tag@mail.example.org"), -1);
  EXPECT_EQ(envelopeAddressFault("x> NOTIFY=NEVER ORCPT=rfc822;y@example.org"), 1);
  EXPECT_EQ(envelopeAddressFault("root"), 4);            // no domain
  EXPECT_EQ(envelopeAddressFault(""), 0);
  EXPECT_EQ(envelopeAddressFault("pat@"), 4);
  EXPECT_EQ(envelopeAddressFault("@example.org"), 0);
  EXPECT_EQ(envelopeAddressFault("pat @example.org"), 3);
  EXPECT_EQ(envelopeAddressFault("<pat@example.org"), 0);
  EXPECT_EQ(envelopeAddressFault("pat@exa\tmple.org"), 7);
  EXPECT_EQ(envelopeAddressFault("pat@example..org"), 12);  // the domain rules of validateAddress
  EXPECT_EQ(envelopeAddressFault("pat@exa;mple.org"), 7);
  EXPECT_EQ(envelopeAddressFault(std::string(250, 'a') + "@example.org"), 254);
}

class SmtpEnvelopeTest : public ScriptedNetTest {
 protected:
  SmtpEnvelopeTest() {
    net.responder = [this](const std::string& line) -> std::string {
      if (inData) {
        if (line == ".\r\n") {
          inData = false;
          return "250 queued\r\n";
        }
        return "";
      }
      if (line == "DATA\r\n") {
        inData = true;
        return "354 go ahead\r\n";
      }
      if (line.rfind("RCPT", 0) == 0 && line.find("forward") != std::string::npos)
        return "551 User not local; please try <x> NOTIFY=NEVER y@example.org>\r\n";
      return line.rfind("QUIT", 0) == 0 ? "221 bye\r\n" : "250 ok\r\n";
    };
    net.peerSends("220 relay ready\r\n");
    EXPECT_EQ(smtp.connect("mail.example.com", 0), 0) << smtp.message();
    net.clearSent();
  }

  bool inData = false;
  SMTPManager smtp;
  std::vector<stringT> failed;
};

TEST_F(SmtpEnvelopeTest, EnvelopeAddressesAreWholeAddrSpecs) {
  EXPECT_EQ(smtp.send("gateway@example.org", {"x> NOTIFY=NEVER ORCPT=rfc822;y@example.org"}, "text", failed), 2);
  EXPECT_EQ(smtp.message(),
            "The e-mail recipient 'x> NOTIFY=NEVER ORCPT=rfc822;y@example.org' is not a whole e-mail address "
            "(position 1); nothing was sent");
  EXPECT_EQ(smtp.send("gateway@example.org", {"pat@example.org", "root"}, "text", failed), 2);
  EXPECT_EQ(smtp.send("gateway", {"pat@example.org"}, "text", failed), 2);
  EXPECT_EQ(smtp.message(),
            "The return e-mail address 'gateway' is not a whole e-mail address (position 7); nothing was sent");
  EXPECT_EQ(net.sent(), "");
  EXPECT_TRUE(failed.empty());

  // A 551 forward that is not a whole address is not followed.
  EXPECT_EQ(smtp.send("gateway@example.org", {"pat@example.org", "forward@example.org"}, "text", failed), 0);
  EXPECT_EQ(net.sent().find("NOTIFY"), std::string::npos);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0], "forward@example.org");
}

TEST_F(SmtpEnvelopeTest, DataOnTheWireIsNormalized) {
  ASSERT_EQ(smtp.send("gateway@example.org", {"pat@example.org"}, "Subject: s\r\n\r\na\n.\nb\r.\r\nc", failed), 0)
      << smtp.message();
  const std::string& sent = net.sent();
  std::string data = sent.substr(sent.find("DATA\r\n") + 6);
  EXPECT_EQ(data, "Subject: s\r\n\r\na\r\n..\r\nb\r\n..\r\nc\r\n.\r\n");
}

TEST_F(SmtpEnvelopeTest, UnansweredEndOfDataIsATimeoutNotABadAddress) {
  // The server takes the text and never confirms it: it may have queued
  // the message, so the report says so and does not blame the address.
  net.responder = [inner = net.responder](const std::string& line) {
    std::string answer = inner(line);
    return answer == "250 queued\r\n" ? std::string() : answer;
  };
  EXPECT_EQ(smtp.send("gateway@example.org", {"pat@example.org"}, "text", failed), -1);
  EXPECT_EQ(smtp.message(),
            "The mail server did not confirm the message; it may have accepted it, and the notice goes out again "
            "with the next run: no reply within 120 seconds");
  // Out of step: a late "250" must not pass for the reply to RSET.
  EXPECT_FALSE(smtp.connected());
}

TEST(SmtpLoginEcho, EchoedSecretsAreHiddenInMessages) {
  // Servers that quote the refused command, whole or cut short.
  const std::string password = "orv-very-secret-pw";
  const std::string plain = saslPlain("gateway", password);
  struct Case {
    const char* name;
    SmtpLogin method;
    std::function<std::string(const std::string&)> refusal;  // from the line we sent
  };
  const Case cases[] = {
      {"PLAIN echoed", SmtpLogin::Plain,
       [](const std::string& line) { return "535 5.7.8 bad " + line.substr(0, line.size() - 2) + "\r\n"; }},
      {"PLAIN cut", SmtpLogin::Plain,
       [](const std::string& line) { return "535 no: " + line.substr(0, 30) + "\r\n"; }},
      {"LOGIN password echoed", SmtpLogin::Login,
       [](const std::string& line) { return "535 wrong " + line.substr(0, line.size() - 2) + "\r\n"; }},
      {"decoded", SmtpLogin::Plain,
       [password](const std::string&) { return "535 gateway:" + password + " is wrong\r\n"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    ScriptedSockets net;
    net.addHost("mail.example.com", "192.0.2.10");
    setSockets(&net);
    int logins = 0;
    net.responder = [&](const std::string& line) -> std::string {
      if (line.rfind("EHLO", 0) == 0) return "250-mail.example.com\r\n250 AUTH PLAIN LOGIN\r\n";
      if (line == "AUTH LOGIN\r\n") return "334 VXNlcm5hbWU6\r\n";
      if (line.rfind("QUIT", 0) == 0) return "221 bye\r\n";
      if (c.method == SmtpLogin::Login && ++logins == 1) return "334 UGFzc3dvcmQ6\r\n";
      return c.refusal(line);
    };
    net.peerSends("220 ready\r\n");
    SMTPManager smtp;
    smtp.setLogin(c.method, "gateway", password);
    EXPECT_EQ(smtp.connect("mail.example.com", 0), 535);
    const std::string message = smtp.message().str();
    EXPECT_NE(message.find("[hidden]"), std::string::npos) << message;
    EXPECT_EQ(message.find(password), std::string::npos) << message;
    EXPECT_EQ(message.find(plain.substr(0, 12)), std::string::npos) << message;
    EXPECT_EQ(message.find(base64Encode(password).substr(0, 12)), std::string::npos) << message;
    setSockets(nullptr);
  }
}

}  // namespace
