// Notices as MIME that mail programs read (checked with Python's email
// package), the request reference in their Subject, the refusal of
// automatic mail and the notices per address and hour.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "cycle/acknowledgement_mail.h"
#include "cycle/automatic_mail.h"
#include "cycle/intake.h"
#include "cycle/notice_rate.h"
#include "cycle_test_support.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "mail/mail_message.h"

namespace {

// Parses mail with Python's email package (policy.default) and prints one
// "name=value" line per item; the body comes last, after "body=".
const char* const kPythonReader = R"PY(
import email, email.policy, sys
raw = open(sys.argv[1], 'rb').read()
m = email.message_from_bytes(raw, policy=email.policy.default)
to = m['To'].addresses[0]
fr = m['From'].addresses[0]
print('toName=' + to.display_name)
print('toAddress=' + to.addr_spec)
print('fromName=' + fr.display_name)
print('subject=' + m['Subject'])
print('inReplyTo=' + str(m['In-Reply-To'] or ''))
print('references=' + str(m['References'] or ''))
print('autoSubmitted=' + str(m['Auto-Submitted']))
print('charset=' + str(m.get_content_charset()))
print('defects=' + str(len(m.defects) + sum(len(h.defects) for h in m.values())))
print('longest=' + str(max(len(l) for l in raw.split(b'\r\n'))))
print('body=' + m.get_content(), end='')
)PY";

std::string run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  pclose(p);
  return out;
}

struct Parsed {
  std::string item(const std::string& name) const {
    size_t at = text.find("\n" + name + "=");
    if (at == std::string::npos) at = text.rfind(name + "=", 0) == 0 ? 0 : std::string::npos;
    else ++at;
    if (at == std::string::npos) return "<missing>";
    at += name.size() + 1;
    if (name == "body") return text.substr(at);
    return text.substr(at, text.find('\n', at) - at);
  }
  std::string text;
};

Parsed parseWithPython(const stringT& mail) {
  char dir[] = "/tmp/orvnotice.XXXXXX";
  std::string base = mkdtemp(dir);
  std::ofstream(base + "/reader.py") << kPythonReader;
  std::ofstream(base + "/mail.eml", std::ios::binary) << mail.str();
  Parsed p{run("/usr/bin/python3 " + base + "/reader.py " + base + "/mail.eml 2>&1")};
  run("rm -rf " + base);
  return p;
}

FieldMap frenchSettings() {
  FieldMap s;
  s.set(kTitle, "Service d'entretien \xC3\xA0 Orl\xC3\xA9" "ans");
  s.set(kSubjectPrefix, "@Or:");
  s.set(kFirstLine, "\xC3\x89tat actuel de votre demande");
  s.set(kReturnAddress, "gw@tarnwick.example");
  return s;
}

TEST(NoticeMime, PythonReadsTheSameTexts) {
  const std::string subject = "Fen\xC3\xAAtre cass\xC3\xA9" "e \xE2\x80\x94 salle \xC2\xAB" "B\xC2\xBB, "
                              "avec un objet bien plus long que soixante-dix-huit caract\xC3\xA8res";
  const std::string notice = "Votre demande -- Num\xC3\xA9ro @O01001 -- est \"En attente.\"\r\n\r\n" +
                             std::string(1500, 'x') + "\r\n.point en t\xC3\xAAte\r\n";
  AckHeaders headers{"Tue, 14 Nov 2023 22:13:20 +0000", "<1.2.3@tarnwick.example>", {}, {}, "@O01001"};
  MailMessage received(stringT("From: a@b.c\r\nMessage-ID: <m1@client.example>\r\n"
                               "References: <m0@client.example>\r\n\r\n"));
  threadHeaders(received, &headers);
  stringT mail = composeAcknowledgement(frenchSettings(), {"Zo\xC3\xAB \xC5\x81ukasz", "zoe@x.org"}, stringT(subject),
                                        headers, stringT(notice));
  Parsed p = parseWithPython(mail);
  EXPECT_EQ(p.item("toName"), "Zo\xC3\xAB \xC5\x81ukasz") << p.text;
  EXPECT_EQ(p.item("toAddress"), "zoe@x.org");
  EXPECT_EQ(p.item("fromName"), "Service d'entretien \xC3\xA0 Orl\xC3\xA9" "ans");
  EXPECT_EQ(p.item("subject"), "@Or: [@O01001] " + subject);
  EXPECT_EQ(p.item("inReplyTo"), "<m1@client.example>");
  EXPECT_EQ(p.item("references"), "<m0@client.example> <m1@client.example>");
  EXPECT_EQ(p.item("autoSubmitted"), "auto-replied");
  EXPECT_EQ(p.item("charset"), "utf-8");
  EXPECT_EQ(p.item("defects"), "0");
  EXPECT_LE(std::stoi(p.item("longest")), 998);
  EXPECT_EQ(p.item("body"), "\xC3\x89tat actuel de votre demande\r\n\r\n" + notice);
  // Nothing but ASCII leaves the gateway.
  for (char c : mail.view()) ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(NoticeMime, SubjectReferenceOnlyWhenAskedAndNotTwice) {
  FieldMap s = frenchSettings();
  AckHeaders headers{"D", "<i@x>", {}, {}, {}};
  stringT text = composeAcknowledgement(s, {"Ann", "a@b.c"}, "Leak", headers, "N");
  EXPECT_NE(text.find("\r\nSubject: @Or: Leak\r\n"), stringT::npos);
  headers.reference = "@O01001";
  text = composeAcknowledgement(s, {"Ann", "a@b.c"}, "Leak", headers, "N");
  EXPECT_NE(text.find("\r\nSubject: @Or: [@O01001] Leak\r\n"), stringT::npos);
  // A reply that already names it keeps one.
  text = composeAcknowledgement(s, {"Ann", "a@b.c"}, "Re: @Or: [@O01001] Leak", headers, "N");
  EXPECT_NE(text.find("\r\nSubject: @Or: Re: @Or: [@O01001] Leak\r\n"), stringT::npos);
}

TEST(NoticeMime, ThreadHeadersTakeOnlyWellFormedIds) {
  AckHeaders h;
  threadHeaders(MailMessage(stringT("From: a@b.c\r\n\r\n")), &h);
  EXPECT_EQ(h.inReplyTo, "");
  EXPECT_EQ(h.references, "");
  threadHeaders(MailMessage(stringT("Message-ID: <a b@c>\r\n\r\n")), &h);
  EXPECT_EQ(h.inReplyTo, "");
  threadHeaders(MailMessage(stringT("Message-ID:  <x@y> \r\nReferences: <p@q>\r\n <bad id> junk <r@s>\r\n\r\n")),
                &h);
  EXPECT_EQ(h.inReplyTo, "<x@y>");
  EXPECT_EQ(h.references, "<p@q> <r@s> <x@y>");
}

LogRecord intake(const std::string& headers, const std::string& body = "[1] update;;\r\n") {
  LogRecord row(MailMessage(stringT("From: Ann <ann@x.org>\r\nSubject: s\r\n" + headers + "\r\n" + body)));
  takeIn(row, {"20231114", "221320"});
  return row;
}

TEST(AutomaticMail, EachSignRejectsWithItsReason) {
  CycleClock clock;
  struct Case {
    const char* headers;
    const char* reason;
  } cases[] = {
      {"Auto-Submitted: auto-replied\r\n", "Auto-Submitted: auto-replied"},
      {"Auto-Submitted: Auto-Generated; owner-email=x@y\r\n", "Auto-Submitted: Auto-Generated; owner-email=x@y"},
      {"Precedence: bulk\r\n", "Precedence: bulk"},
      {"Precedence: JUNK\r\n", "Precedence: JUNK"},
      {"Precedence: list\r\n", "Precedence: list"},
      {"List-Id: Tenants <tenants.x.org>\r\n", "List-Id: Tenants <tenants.x.org>"},
      {"Return-Path: <>\r\n", "Return-Path: <>"},
      {"Reply-To: MAILER-DAEMON@x.org\r\n", "Reply-To: MAILER-DAEMON@x.org"},
      {"Reply-To: Mail System <Postmaster@x.org>\r\n", "Reply-To: Mail System <Postmaster@x.org>"},
      {"Content-Type: multipart/report; report-type=delivery-status; boundary=b\r\n",
       "Content-Type: multipart/report; report-type=delivery-status; boundary=b"},
  };
  for (const Case& c : cases) {
    LogRecord row = intake(c.headers);
    EXPECT_EQ(row.status(), kLogRejected) << c.headers;  // not the enquiry its form asks for
    EXPECT_EQ(row.get(kLrHistory), stringT("11/14 22:13 Automatic mail, not answered: ") + c.reason + "\r\n");
  }
  // A From of the mail system itself.
  LogRecord bounce(MailMessage(stringT("From: Mail Delivery System <mailer-daemon@mx.x.org>\r\n\r\nx")));
  takeIn(bounce, {"20231114", "221320"});
  EXPECT_EQ(bounce.status(), kLogRejected);
}

TEST(AutomaticMail, PeopleAreNotRobots) {
  CycleClock clock;
  for (const char* headers : {"", "Auto-Submitted: no\r\n", "Auto-Submitted: No (a person)\r\n",
                              "Precedence: first-class\r\n", "Return-Path: <ann@x.org>\r\n",
                              "Reply-To: postmaster.helper@x.org\r\n", "Content-Type: multipart/mixed; b=1\r\n"}) {
    LogRecord row = intake(headers);
    EXPECT_EQ(row.status(), kLogSpecial) << headers;
    EXPECT_EQ(row.get(kLrHistory), "") << headers;
  }
}

TEST(AutomaticMail, HistoryLineInFrench) {
  CycleClock clock;
  ASSERT_EQ(stringMapper().loadMessages(std::string(ORV_TEST_DATA) + "/../../messages/msg000c.txt"), 0);
  LogRecord row = intake("Precedence: bulk\r\n");
  stringMapper().clear();
  EXPECT_EQ(row.get(kLrHistory), "11/14 22:13 Courrier automatique, sans r\xC3\xA9ponse : Precedence: bulk\r\n");
}

TEST(NoticeRate, TwentyAnHourThenWaitForTheOldest) {
  NoticeRate rate;
  const std::time_t t0 = 1700000000;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(rate.allows("ann@x.org", t0 + i * 60, 20)) << i;
    rate.sent("ann@x.org", t0 + i * 60);
  }
  EXPECT_FALSE(rate.allows("ANN@x.org", t0 + 1200, 20));  // the 21st, case ignored
  EXPECT_TRUE(rate.allows("bob@x.org", t0 + 1200, 20));   // others are not held
  EXPECT_EQ(rate.nextAllowed("ann@x.org", t0 + 1200, 20), t0 + 3600);
  EXPECT_FALSE(rate.allows("ann@x.org", t0 + 3599, 20));
  EXPECT_TRUE(rate.allows("ann@x.org", t0 + 3600, 20));  // the first is an hour old
  EXPECT_TRUE(rate.allows("ann@x.org", t0 + 1200, 0));   // 0: no limit
  EXPECT_TRUE(rate.firstHold("ann@x.org"));
  EXPECT_FALSE(rate.firstHold("Ann@X.org"));
  rate.startRun();
  EXPECT_TRUE(rate.firstHold("ann@x.org"));

  EXPECT_EQ(NoticeRate::limitFromSetting(""), 20);
  EXPECT_EQ(NoticeRate::limitFromSetting(" 5"), 5);
  EXPECT_EQ(NoticeRate::limitFromSetting("0"), 0);
  EXPECT_EQ(NoticeRate::limitFromSetting("-3"), 20);
}

}  // namespace
