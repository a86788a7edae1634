// Mail of today through the whole cycle, against Dovecot, aiosmtpd and a
// tarnwick-sim database: a French message as a mail program sends it
// becomes a work request that reads correctly in Windows-1252, its notice
// reads as the same text in Python's email package, an out-of-office reply
// to the notice is not answered, and an address gets at most its notices
// per hour.
#include "cycle_world.h"
#include "db/maintenance_layouts.h"
#include "db/work_request_manager.h"
#include "platform/clock.h"

namespace cycletest {
namespace {

// Runs a Python script (given as text) with arguments; its output.
std::string python(const std::string& dir, const std::string& script, const std::string& args) {
  std::ofstream(dir + "/script.py") << script;
  return runProgram("/usr/bin/python3 " + dir + "/script.py " + args);
}

// The work request with KEY key and its requestor, read with dbfread in
// the code page the table declares.
const char* const kReadRequest = R"PY(
import sys
from dbfread import DBF
base, key = sys.argv[1], int(sys.argv[2])
wr = next(r for r in DBF(base + '/wrequest.dbf', load=False) if r['KEY'] == key)
who = next(r for r in DBF(base + '/contacts.dbf', load=False) if r['KEY'] == wr['REQUESTOR'])
print('subject=' + wr['SUBJECT'].rstrip())
print('name=' + who['CODE'].rstrip())
print('description=' + wr['WDESC'].replace('\r\n', '|'))
)PY";

// The notice as Python's email package (policy.default) reads it.
const char* const kReadNotice = R"PY(
import sys, email, email.policy
m = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=email.policy.default)
print('to=' + m['To'].addresses[0].display_name)
print('subject=' + m['Subject'])
print('inReplyTo=' + str(m['In-Reply-To']))
print('auto=' + str(m['Auto-Submitted']))
print('body=' + m.get_content().replace('\r\n', '|'))
)PY";

std::string item(const std::string& text, const std::string& name) {
  size_t at = text.find(name + "=");
  if (at == std::string::npos) return "<missing " + name + "> " + text;
  at += name.size() + 1;
  return text.substr(at, text.find('\n', at) - at);
}

// Thunderbird-like: multipart/alternative, a base64 UTF-8 text part and
// its HTML twin; name and Subject as encoded words.
std::string frenchMessage() {
  // "Bonjour,\r\nLa fenêtre de la salle 12 est cassée ; coût estimé : 120 €.\r\nŒuvre urgente, merci.\r\n"
  const std::string text64 =
      "Qm9uam91ciwNCkxhIGZlbsOqdHJlIGRlIGxhIHNhbGxlIDEyIGVzdCBjYXNzw6llIDsgY2/Du3Qg\r\n"
      "ZXN0aW3DqSA6IDEyMCDigqwuDQrFknV2cmUgdXJnZW50ZSwgbWVyY2kuDQo=\r\n";
  return "From: =?UTF-8?Q?Zo=C3=A9_Lef=C3=A8vre?= <zoe@exemple.fr>\r\n"
         "To: maintenance@tarnwick-demo.example\r\n"
         "Subject: =?UTF-8?B?RmVuw6p0cmUgY2Fzc8OpZSDigJQgc2FsbGUgMTI=?=\r\n"
         "Message-ID: <8f1c2a@exemple.fr>\r\n"
         "MIME-Version: 1.0\r\n"
         "User-Agent: Mozilla Thunderbird\r\n"
         "Content-Type: multipart/alternative; boundary=\"------------b0undary\"\r\n"
         "\r\n"
         "This is a multi-part message in MIME format.\r\n"
         "--------------b0undary\r\n"
         "Content-Type: text/plain; charset=UTF-8; format=flowed\r\n"
         "Content-Transfer-Encoding: base64\r\n"
         "\r\n" +
         text64 +
         "\r\n--------------b0undary\r\n"
         "Content-Type: text/html; charset=UTF-8\r\n"
         "Content-Transfer-Encoding: 8bit\r\n"
         "\r\n"
         "<html><body><p>Bonjour,</p><p>La fen\xC3\xAAtre de la salle 12 est cass\xC3\xA9" "e.</p></body></html>\r\n"
         "\r\n--------------b0undary--\r\n";
}

const std::string kSubject = "Fen\xC3\xAAtre cass\xC3\xA9" "e \xE2\x80\x94 salle 12";
const std::string kDescription =
    "Bonjour,|La fen\xC3\xAAtre de la salle 12 est cass\xC3\xA9" "e ; co\xC3\xBBt estim\xC3\xA9 : 120 \xE2\x82\xAC.|"
    "\xC5\x92uvre urgente, merci.";

TEST(MimeOutRuns, FrenchRequestInWindows1252NoticeInUtf8OutOfOfficeNotAnswered) {
  ORV_REQUIRE_PEERS();
  World w;
  w.settings().set(kReferenceInSubject, "1");
  w.maildir().drop(frenchMessage());
  w.cycle().doAll();
  EXPECT_TRUE(w.diagnosticTexts().empty()) << w.diagnosticTexts()[0];

  auto waiting = w.rows(kLogWaiting);
  ASSERT_EQ(waiting.size(), 1u);
  long wrKey = waiting[0].getNumber(kLrWrKey);

  // The maintenance program's tables hold Windows-1252 (header byte 29 is
  // 3), read here by another program in that code page. The em dash is in
  // Windows-1252 (0x97), so nothing had to be transliterated.
  std::string stored = python(w.root(), kReadRequest, w.tarnwick() + " " + std::to_string(wrKey));
  EXPECT_EQ(item(stored, "subject"), kSubject) << stored;
  EXPECT_EQ(item(stored, "name"), "Zo\xC3\xA9 Lef\xC3\xA8vre") << stored;
  EXPECT_EQ(item(stored, "description").substr(0, kDescription.size()), kDescription) << stored;
  {
    WorkRequestManager requests(w.maintenance());
    ASSERT_EQ(requests.FindByKey(wrKey), 0);
    // No UTF-8 in the table: its own bytes are Windows-1252.
    EXPECT_EQ(requests.requests().field(kWrSubject)->text(), "Fen\xEAtre cass\xE9" "e \x97 salle 12");
  }

  // The notice: what Python reads is what the gateway meant.
  auto mail = w.spool().fresh();
  ASSERT_EQ(mail.size(), 1u);
  std::ofstream(w.root() + "/notice.eml", std::ios::binary) << mail[0];
  std::string notice = python(w.root(), kReadNotice, w.root() + "/notice.eml");
  EXPECT_EQ(item(notice, "to"), "Zo\xC3\xA9 Lef\xC3\xA8vre") << notice;
  EXPECT_EQ(item(notice, "subject"), "@Or: [@O01001] " + kSubject);
  EXPECT_EQ(item(notice, "inReplyTo"), "<8f1c2a@exemple.fr>");
  EXPECT_EQ(item(notice, "auto"), "auto-replied");
  std::string body = item(notice, "body");
  EXPECT_NE(body.find("Here is the Original work-request:|" + kSubject + "|" + kDescription), std::string::npos)
      << body;
  for (char c : mail[0]) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "8-bit byte in the notice";

  // The requestor's out-of-office robot answers the notice.
  std::regex id("\r\nMessage-ID: (<[^>\r]+>)\r\n");
  std::smatch found;
  ASSERT_TRUE(std::regex_search(mail[0], found, id));
  w.maildir().drop("From: =?UTF-8?Q?Zo=C3=A9_Lef=C3=A8vre?= <zoe@exemple.fr>\r\n"
                   "Subject: =?UTF-8?Q?R=C3=A9ponse_automatique=C2=A0:?= @Or: [@O01001] Fen\r\n"
                   "In-Reply-To: " + found[1].str() + "\r\n"
                   "Auto-Submitted: auto-replied\r\n"
                   "Content-Type: text/plain; charset=UTF-8\r\n"
                   "Content-Transfer-Encoding: 8bit\r\n\r\n"
                   "Je suis absente jusqu'au 4 janvier.\r\n");
  w.cycle().doAll();
  auto rejected = w.rows(kLogRejected);
  ASSERT_EQ(rejected.size(), 1u);
  EXPECT_TRUE(std::regex_match(rejected[0].get(kLrHistory).str(),
                               std::regex("\\d\\d/\\d\\d \\d\\d:\\d\\d Automatic mail, not answered: "
                                          "Auto-Submitted: auto-replied\r\n")))
      << rejected[0].get(kLrHistory);
  EXPECT_TRUE(w.spool().fresh().empty());  // not answered
  EXPECT_EQ(w.rows(kLogWaiting).size(), 1u);  // and no second work request
  EXPECT_TRUE(w.rows(kLogPendingAck).empty());
  EXPECT_EQ(w.checkTables(), "");
}

// The real clock, an offset ahead.
class LaterClock : public Clock {
 public:
  LaterClock() : real_(platformClock()) { setClock(this); }
  ~LaterClock() override { setClock(nullptr); }
  std::time_t now() override { return real_.now() + offset; }
  int64_t monotonicMs() override { return real_.monotonicMs(); }
  void sleepMs(int64_t ms) override { real_.sleepMs(ms); }
  std::time_t offset = 0;

 private:
  Clock& real_;
};

TEST(MimeOutRuns, TheTwentyFirstNoticeOfTheHourWaitsForTheHourToEnd) {
  ORV_REQUIRE_PEERS();
  LaterClock clock;
  World w;
  for (int i = 1; i <= 21; ++i)
    w.maildir().drop(message("From: Bob Lee <bob@example.com>\r\nSubject: leak " + std::to_string(i) + "\r\n",
                             "Leak " + std::to_string(i) + ".\r\n"));
  w.cycle().doAll();
  EXPECT_EQ(w.rows(kLogWaiting).size(), 21u);
  std::set<std::string> subjects;
  std::regex subject("\r\nSubject: @Or: (leak \\d+)\r\n");
  auto noteSubjects = [&](const std::vector<std::string>& mails) {
    for (const auto& m : mails) {
      std::smatch found;
      if (std::regex_search(m, found, subject)) subjects.insert(found[1].str());
    }
  };
  auto first = w.spool().fresh();
  EXPECT_EQ(first.size(), 20u);
  noteSubjects(first);
  ASSERT_EQ(w.rows(kLogPendingAck).size(), 1u);  // held, still queued
  auto texts = w.diagnosticTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("Notices to 'bob@example.com' held: 20 were sent to it within the hour"),
            std::string::npos)
      << texts[0];

  // Within the hour, still held (and reported again by that run).
  clock.offset = 3000;
  w.cycle().sendAcknowledgements();
  EXPECT_TRUE(w.spool().fresh().empty());
  EXPECT_EQ(w.rows(kLogPendingAck).size(), 1u);

  clock.offset = 3700;
  w.cycle().sendAcknowledgements();
  auto late = w.spool().fresh();
  ASSERT_EQ(late.size(), 1u);
  noteSubjects(late);
  EXPECT_EQ(subjects.size(), 21u);  // each request had its notice, once
  EXPECT_TRUE(w.rows(kLogPendingAck).empty());
}

}  // namespace
}  // namespace cycletest
