// Mail as today's programs send it, through the three runs against Dovecot,
// aiosmtpd and a tarnwick-sim database: the sender, the work request and
// forms come from the MIME view of each message.
#include "cycle_world.h"

#include "db/work_request_manager.h"

namespace cycletest {
namespace {

std::string corpusMessage(const std::string& name) {
  std::ifstream in(std::string(ORV_TEST_DATA) + "/mail/mime/" + name + ".eml", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string corpusText(const std::string& name) {
  std::ifstream in(std::string(ORV_TEST_DATA) + "/mail/mime/" + name + ".txt", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

FieldMap requestOf(World& w, const LogRecord& row) {
  FieldMap request;
  EXPECT_EQ(WorkRequestManager(w.maintenance()).FindAndRead(row.getNumber(kLrWrKey), request), 0);
  return request;
}

TEST(CycleMime, QuotedDisplayNameWithAngleBracketsGivesTheRealAddress) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(corpusMessage("mallory_angle_brackets"));
  w.cycle().doAll();
  EXPECT_TRUE(w.diagnosticTexts().empty()) << w.diagnosticTexts()[0];
  AccountsManager accounts(w.gateway(), w.maintenance());
  long contact = 0;
  ASSERT_EQ(accounts.FindContactByEmail("mallory@example.org", &contact), 0);
  auto account = accounts.GetAccount(contact);
  ASSERT_TRUE(account);
  EXPECT_EQ(account->get(kAccountName).trimRight(), "<b>Mallory</b><img src=x onerror=alert(1)>");
  long wrong = 0;
  EXPECT_NE(accounts.FindContactByEmail("b", &wrong), 0);
  auto waiting = w.rows(kLogWaiting);
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(requestOf(w, waiting[0]).getNumber(kReqRequestor), contact);
  ASSERT_EQ(w.spool().fresh().size(), 1u);
  EXPECT_EQ(w.spool().envelopeOf(), "MAIL FROM:<gateway@tarnwick-demo.example>\nRCPT TO:<mallory@example.org>\n");
}

TEST(CycleMime, WorkRequestTakesTheDecodedSubjectAndText) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(corpusMessage("gmail_attachment_jpg"));
  w.cycle().doAll();
  auto waiting = w.rows(kLogWaiting);
  ASSERT_EQ(waiting.size(), 1u);
  FieldMap request = requestOf(w, waiting[0]);
  EXPECT_EQ(request.get(kReqSubject).trimRight(), "Photo of the leak");
  EXPECT_EQ(request.get(kReqDescription), corpusText("gmail_attachment_jpg"));
  EXPECT_EQ(request.get(kReqDescription), "See the photo.\r\n\r\nAttachment: IMG_20261208_085512.jpg (30 KB)\r\n");
  // The row keeps the message as it was received.
  EXPECT_EQ(waiting[0].message().rawText(), corpusMessage("gmail_attachment_jpg"));
  // The contact is named after the decoded display name.
  AccountsManager accounts(w.gateway(), w.maintenance());
  long contact = 0;
  ASSERT_EQ(accounts.FindContactByEmail("jorg.muller@gmail.example", &contact), 0);
  EXPECT_EQ(accounts.GetAccount(contact)->get(kAccountName).trimRight(), "J\xC3\xB6rg M\xC3\xBCller");
}

TEST(CycleMime, FormsFromHtmlAndBase64Parts) {
  ORV_REQUIRE_PEERS();
  World w;
  // Jane Adams is contact 1; one message per run, so the keys are known.
  w.maildir().drop(corpusMessage("outlook_form_html_only"));
  w.cycle().doAll();
  w.maildir().drop(corpusMessage("request_form_base64"));
  w.cycle().doAll();
  auto waiting = w.rows(kLogWaiting);
  ASSERT_EQ(waiting.size(), 2u);
  for (const LogRecord& row : waiting) EXPECT_EQ(row.get(kLrFlags), "1");
  FieldMap html = requestOf(w, waiting[0]);
  EXPECT_EQ(html.get(kReqSubject).trimRight(), "Heating off in B2");
  EXPECT_EQ(html.get(kReqDescription), "No heat since Monday & the room is at 14\xC2\xB0" "C.");
  EXPECT_EQ(html.getNumber(kReqUnit), 2);
  FieldMap base64 = requestOf(w, waiting[1]);
  EXPECT_EQ(base64.get(kReqSubject).trimRight(), "Heating off");
  EXPECT_EQ(base64.get(kReqDescription), "No heat in B2.");
  EXPECT_EQ(w.checkTables(), "");
}

TEST(CycleMime, EnquiryInAMultipartMessage) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(message("From: Jane Adams <jane.adams@tarnwick-demo.example>\r\nSubject: Heating off\r\n",
                           "No heat in B2.\r\n"));
  w.cycle().doAll();
  ASSERT_EQ(w.spool().fresh().size(), 1u);
  // "[1] update;;" only inside a base64 part; the reference in an encoded
  // Subject.
  w.maildir().drop(
      "From: =?utf-8?q?Jane_Adams?= <jane.adams@tarnwick-demo.example>\r\n"
      "Subject: =?utf-8?q?O=C3=B9_en_est_@O01001=3F?=\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/alternative; boundary=\"e\"\r\n\r\n"
      "--e\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\nWzFdIHVwZGF0ZTs7\r\n"
      "--e\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "PHA+WzFdIHVwZGF0ZTs7PC9wPg==\r\n--e--\r\n");
  w.cycle().doAll();
  auto mail = w.spool().fresh();
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_NE(mail[0].find("Number @O01001 -- is currently \"Waiting.\""), std::string::npos) << mail[0];
  EXPECT_EQ(w.rows(kLogWaiting).size(), 1u);  // no second work request
}

}  // namespace
}  // namespace cycletest
