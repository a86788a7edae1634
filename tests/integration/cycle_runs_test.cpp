// The three runs against Dovecot, aiosmtpd and a tarnwick-sim database,
// driven directly as orvserv /Run:... drives them.
#include "cycle_world.h"

#include "db/work_request_manager.h"

namespace cycletest {
namespace {

const char* const kPat = "From: \"Pat O'Neil\" <pat@new.example>\r\nSubject: Broken window\r\n";

// The acknowledgement the cycle must send for row (fields after the run).
std::string expectedNotice(const std::string& to, const std::string& subject, const std::string& notice) {
  return "To: " + to + "\r\nFrom: Tarnwick @Orvane <gateway@tarnwick-demo.example>\r\nSubject: @Or: " + subject +
         "\r\nDate: D\r\nMessage-ID: M\r\nAuto-Submitted: auto-replied\r\nMIME-Version: 1.0\r\n"
         "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 7bit\r\n\r\nCurrent status of your Tarnwick @Orvane\r\n\r\n" + notice;
}

bool contains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

TEST(CycleRuns, UnknownSenderAdmittedByEverybody) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(message(kPat, "The window in room 4 is broken.\r\n"));
  w.cycle().doAll();
  EXPECT_EQ(w.maildir().messageFiles(), 0u);
  EXPECT_TRUE(w.diagnosticTexts().empty()) << w.diagnosticTexts()[0];

  auto waiting = w.rows(kLogWaiting);
  ASSERT_EQ(waiting.size(), 1u);
  const LogRecord& row = waiting[0];
  EXPECT_EQ(row.get(104), "@O01001");
  std::string history = row.get(kLrHistory).str();
  EXPECT_TRUE(std::regex_match(history, std::regex("\\d\\d/\\d\\d \\d\\d:\\d\\d Waiting\r\n"))) << history;
  EXPECT_TRUE(w.rows(kLogPendingAck).empty());  // sent and removed

  // The contact and account that were made for the sender.
  AccountsManager accounts(w.gateway(), w.maintenance());
  long contact = 0;
  ASSERT_EQ(accounts.FindContactByEmail("pat@new.example", &contact), 0);
  auto account = accounts.GetAccount(contact);
  ASSERT_TRUE(account);
  EXPECT_EQ(account->get(kAccountName), "Pat ONeil");
  EXPECT_EQ(account->getNumber(kAccountFlags), 3);
  WorkRequestManager requests(w.maintenance());
  FieldMap request;
  ASSERT_EQ(requests.FindAndRead(row.getNumber(kLrWrKey), request), 0);
  EXPECT_EQ(request.getNumber(kReqRequestor), contact);
  EXPECT_EQ(request.get(kReqSubject).trimRight(), "Broken window");

  auto mail = w.spool().fresh();
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_EQ(withFixedStamps(mail[0]),
            expectedNotice("Pat ONeil <pat@new.example>", "Broken window",
                           "Your work-request -- Number @O01001 -- is currently \"Waiting.\"\r\n\r\n"
                           "Here is the History for this work-request:\r\n" + history + "\r\n"
                           "Here is the Original work-request:\r\nBroken window\r\nThe window in room 4 is broken.\r\n"
                           "\r\n\r\n"));
  EXPECT_EQ(w.spool().envelopeOf(), "MAIL FROM:<gateway@tarnwick-demo.example>\nRCPT TO:<pat@new.example>\n");

  // A second Do All finds nothing new and sends nothing.
  w.cycle().doAll();
  EXPECT_TRUE(w.spool().fresh().empty());
  EXPECT_EQ(w.checkTables(), "");
}

TEST(CycleRuns, UnknownSenderRejectedWithoutEverybody) {
  ORV_REQUIRE_PEERS();
  World w(/*everybodyFlags=*/0);
  w.maildir().drop(message(kPat, "Broken.\r\n"));
  w.cycle().doAll();
  auto rejected = w.rows(kLogRejected);
  ASSERT_EQ(rejected.size(), 1u);
  EXPECT_TRUE(std::regex_match(rejected[0].get(kLrHistory).str(),
                               std::regex("\\d\\d/\\d\\d \\d\\d:\\d\\d Unauthorized user\r\n")));
  EXPECT_TRUE(w.spool().fresh().empty());
  AccountsManager accounts(w.gateway(), w.maintenance());
  long contact = 0;
  EXPECT_EQ(accounts.FindContactByEmail("pat@new.example", &contact), 2);
}

TEST(CycleRuns, RequestFormFields) {
  ORV_REQUIRE_PEERS();
  World w;
  // Jane Adams (contact 1) files for herself; unit 2 exists, the form's
  // reference is kept.
  w.maildir().drop(message("From: Jane Adams <jane.adams@tarnwick-demo.example>\r\nSubject: form\r\n",
                           "[1] request;;\r\n[7] Heating off;;\r\n[8] No heat in B2.;;\r\n[12] JA-7;;\r\n"
                           "[14] 2;;\r\n[17] 1;;\r\n"));
  w.cycle().doAll();
  auto waiting = w.rows(kLogWaiting);
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(waiting[0].get(kLrFlags), "1");
  WorkRequestManager requests(w.maintenance());
  FieldMap request;
  ASSERT_EQ(requests.FindAndRead(waiting[0].getNumber(kLrWrKey), request), 0);
  EXPECT_EQ(request.get(kReqNumber).trim(), "JA-7");
  EXPECT_EQ(request.get(kReqSubject).trimRight(), "Heating off");
  EXPECT_EQ(request.get(kReqDescription), "No heat in B2.");
  EXPECT_EQ(request.getNumber(kReqUnit), 2);
  EXPECT_EQ(request.getNumber(kReqRequestor), 1);
  auto mail = w.spool().fresh();
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_NE(mail[0].find("To: Jane Adams <jane.adams@tarnwick-demo.example>\r\n"), std::string::npos);
  EXPECT_NE(mail[0].find("Number JA-7 -- is currently \"Waiting.\""), std::string::npos);

  // A stranger naming Jane's key in field 17 is not taken for Jane.
  w.maildir().drop(message("From: mallory@evil.example\r\nSubject: x\r\n", "[1] request;;[7] fake;;[17] 1;;"));
  w.cycle().doAll();
  AccountsManager accounts(w.gateway(), w.maintenance());
  long mallory = 0;
  ASSERT_EQ(accounts.FindContactByEmail("mallory@evil.example", &mallory), 0);
  bool found = false;
  for (const LogRecord& r : w.rows(kLogWaiting))
    if (r.get(105) == "fake") {
      found = true;
      FieldMap fake;
      ASSERT_EQ(WorkRequestManager(w.maintenance()).FindAndRead(r.getNumber(kLrWrKey), fake), 0);
      EXPECT_EQ(fake.getNumber(kReqRequestor), mallory);
    }
  EXPECT_TRUE(found);
}

TEST(CycleRuns, EnquiryInvalidAddressAndUnknownAction) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(message("From: Bob Lee <bob@example.com>\r\nSubject: status?\r\n", "[1] update;;"));
  w.maildir().drop(message("From: Bob <bob@@example.com>\r\nSubject: bad\r\n", "[1] request;;"));
  w.maildir().drop(message("From: Bob Lee <bob@example.com>\r\nSubject: odd\r\n", "[1] Request;;"));
  w.cycle().doAll();
  EXPECT_TRUE(w.rows(kLogSpecial).empty());
  ASSERT_EQ(w.rows(kLogSaved).size(), 1u);  // the enquiry, answered
  auto rejected = w.rows(kLogRejected);
  ASSERT_EQ(rejected.size(), 2u);
  std::string histories = rejected[0].get(kLrHistory).str() + rejected[1].get(kLrHistory).str();
  EXPECT_NE(histories.find("Invalid Return E-mail Address: 'bob@@example.com' at position 4\r\n"), std::string::npos);
  EXPECT_NE(histories.find("Unrecognized Action: 'Request'\r\n"), std::string::npos);
  // The enquiry names no work request: it is answered once, saying so
  // (enquiry_runs_test.cpp has the rest). The rejected rows get no notice.
  auto mail = w.spool().fresh();
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_NE(mail[0].find("Your status enquiry does not name a work-request."), std::string::npos);
  EXPECT_TRUE(w.rows(kLogPendingAck).empty());
  EXPECT_TRUE(w.diagnosticTexts().empty()) << w.diagnosticTexts()[0];
  EXPECT_EQ(w.checkTables(), "");
}

TEST(CycleRuns, WorkOrderMovesBetweenUpdateRuns) {
  ORV_REQUIRE_PEERS();
  World w;
  w.settings().set(kFollowCompleted, "1");
  w.settings().set(kFollowVoid, "1");
  w.settings().set(kClosingComments, "1");
  w.maildir().drop(message("From: Bob Lee <bob@example.com>\r\nSubject: Lift stuck\r\n", "Lift 1 stuck.\r\n"));
  w.cycle().doAll();
  ASSERT_EQ(w.spool().fresh().size(), 1u);
  auto row = w.rows(kLogWaiting).at(0);
  long wrKey = row.getNumber(kLrWrKey);

  std::string out = w.sim("transfer " + w.tarnwick() + " " + std::to_string(wrKey) + " --workdate 20300110 --interval 3");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex("work order (\\d+)"))) << out;
  std::string wo = m[1];
  w.cycle().doAll();
  auto transferred = w.rows(kLogTransferred);
  ASSERT_EQ(transferred.size(), 1u);
  std::string details = transferred[0].get(kLrDetails).str();
  EXPECT_TRUE(std::regex_match(details, std::regex("Opened W/O Number \\S+ on [A-Z][a-z]+ \\d\\d, \\d{4}\\.  Work "
                                                   "scheduled to start on January 10, 2030 for 3 day\\(s\\)\\.\r\n")))
      << details;
  auto mail = w.spool().fresh();
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_NE(mail[0].find("is currently \"Transferred.\"\r\nHere are the details:\r\n" + details + "\r\n"),
            std::string::npos);

  w.sim("reschedule " + w.tarnwick() + " " + wo + " 20300201 5");
  w.cycle().doAll();
  details = w.rows(kLogTransferred).at(0).get(kLrDetails).str();
  EXPECT_NE(details.find("Rescheduled W/O Number "), std::string::npos);
  EXPECT_NE(details.find(".  Work scheduled to start on February 01, 2030 for 5 day(s).\r\n"), std::string::npos);
  ASSERT_EQ(w.spool().fresh().size(), 1u);

  w.sim("close " + w.tarnwick() + " " + wo + " \"Cable replaced\"");
  w.cycle().doAll();
  auto completed = w.rows(kLogCompleted);
  ASSERT_EQ(completed.size(), 1u);
  EXPECT_NE(completed[0].get(kLrDetails).find(".  Cable replaced\r\n"), stringT::npos);
  ASSERT_EQ(w.spool().fresh().size(), 1u);

  w.sim("reopen " + w.tarnwick() + " " + wo);  // followed because of 157
  w.cycle().doAll();
  ASSERT_EQ(w.rows(kLogTransferred).size(), 1u);
  EXPECT_NE(w.rows(kLogTransferred).at(0).get(kLrDetails).find("Reopened W/O Number "), stringT::npos);
  ASSERT_EQ(w.spool().fresh().size(), 1u);

  w.sim("void " + w.tarnwick() + " order " + wo);
  w.cycle().doAll();
  auto voided = w.rows(kLogVoid);
  ASSERT_EQ(voided.size(), 1u);
  EXPECT_NE(voided[0].get(kLrDetails).find("Voided W/O Number "), stringT::npos);
  auto last = w.spool().fresh();
  ASSERT_EQ(last.size(), 1u);
  EXPECT_NE(last[0].find("is currently \"Void.\""), std::string::npos);
  EXPECT_EQ(w.checkTables(), "");
  EXPECT_TRUE(w.diagnosticTexts().empty()) << w.diagnosticTexts()[0];
}

TEST(CycleRuns, CompletedRowsNotFollowedWithoutSetting157) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(message("From: Bob Lee <bob@example.com>\r\nSubject: Tap\r\n", "Tap.\r\n"));
  w.cycle().doAll();
  long wrKey = w.rows(kLogWaiting).at(0).getNumber(kLrWrKey);
  std::smatch m;
  std::string out = w.sim("transfer " + w.tarnwick() + " " + std::to_string(wrKey));
  ASSERT_TRUE(std::regex_search(out, m, std::regex("work order (\\d+)")));
  w.sim("close " + w.tarnwick() + " " + std::string(m[1]) + " \"secret comment\"");
  w.cycle().doAll();
  auto completed = w.rows(kLogCompleted);
  ASSERT_EQ(completed.size(), 1u);
  EXPECT_EQ(completed[0].get(kLrDetails).find("secret comment"), stringT::npos);  // 159 off
  (void)w.spool().fresh();
  w.sim("reopen " + w.tarnwick() + " " + std::string(m[1]));
  w.cycle().doAll();
  EXPECT_EQ(w.rows(kLogCompleted).size(), 1u);
  EXPECT_TRUE(w.spool().fresh().empty());
}

TEST(CycleRuns, DoAllWithUnreachablePop3StillUpdatesAndSends) {
  ORV_REQUIRE_PEERS();
  World w;
  w.maildir().drop(message(kPat, "x\r\n"));
  w.cycle().retrieveMail();
  w.settings().set(kPop3Port, "1");  // nothing listens there
  w.cycle().doAll();
  EXPECT_TRUE(contains(w.diagnosticTexts(), "POP3"));
  EXPECT_EQ(w.rows(kLogWaiting).size(), 1u);
  EXPECT_EQ(w.spool().fresh().size(), 1u);
}

TEST(CycleRuns, EmptyReturnAddressKeepsTheQueue) {
  ORV_REQUIRE_PEERS();
  World w;
  w.settings().set(kReturnAddress, "");
  w.maildir().drop(message(kPat, "x\r\n"));
  w.cycle().doAll();
  EXPECT_TRUE(contains(w.diagnosticTexts(), "Acknowledgments NOT sent because you have not specified"));
  EXPECT_EQ(w.rows(kLogPendingAck).size(), 1u);
  EXPECT_TRUE(w.spool().fresh().empty());
  w.settings().set(kReturnAddress, "gateway@tarnwick-demo.example");
  w.cycle().sendAcknowledgements();
  EXPECT_EQ(w.rows(kLogPendingAck).size(), 0u);
  EXPECT_EQ(w.spool().fresh().size(), 1u);
}

TEST(CycleRuns, RefusedRecipientAndControlCharactersStayQueued) {
  ORV_REQUIRE_PEERS();
  World w;
  // A recipient that is not a whole address is not sent; the notice stays
  // queued.
  w.maildir().drop(message("From: Ann <ann@x.example>\r\nReply-To: ann@x.example\r\nSubject: a\r\n", "a\r\n"));
  w.cycle().retrieveMail();
  w.cycle().updateLogs();
  auto queued = w.rows(kLogPendingAck);
  ASSERT_EQ(queued.size(), 1u);
  {
    // Point the queued copy's Reply-To at an address the server refuses,
    // and queue one whose address holds a line break.
    LogsManager logs(w.gateway());
    LogRecord refused = queued[0];
    refused.setMessage(MailMessage(stringT("From: ann@x.example\r\nReply-To: <a@b@x.example>\r\nSubject: a\r\n\r\n")));
    ASSERT_EQ(logs.Update(refused, kLrAllFields), 0);
    LogRecord control = queued[0];
    control.setMessage(MailMessage(stringT("From: ann@x.example\r\nReply-To: <ann@x.example\r\n >\r\nSubject: c\r\n\r\n")));
    ASSERT_EQ(logs.Append(control), 0);
  }
  w.cycle().sendAcknowledgements();
  auto texts = w.diagnosticTexts();
  std::string all;
  for (const auto& t : texts) all += t + "\n";
  // Not a whole address for the envelope: refused before any SMTP command.
  EXPECT_TRUE(contains(texts, "acknowledgement not sent to 'a@b@x.example': not a whole e-mail address (position 3)"))
      << all;
  EXPECT_TRUE(contains(texts, "control character at position 13"));
  EXPECT_EQ(w.rows(kLogPendingAck).size(), 2u);
  auto sent = w.spool().fresh();
  EXPECT_TRUE(sent.empty()) << sent[0] << w.spool().envelopeOf();
}

}  // namespace
}  // namespace cycletest
