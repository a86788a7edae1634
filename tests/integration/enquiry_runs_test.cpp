// Status enquiries end to end: Dovecot delivers them, the update run
// answers each once, aiosmtpd receives the answers, tarnwick-sim moves the
// work request in between.
#include "cycle_world.h"

#include "cycle/status_enquiry.h"
#include "db/work_request_manager.h"

namespace cycletest {
namespace {

const char* const kJane = "From: Jane Adams <jane.adams@tarnwick-demo.example>\r\n";
const char* const kBob = "From: Bob Lee <bob@example.com>\r\n";
const char* const kJaneTo = "Jane Adams <jane.adams@tarnwick-demo.example>";
const char* const kBobTo = "Bob Lee <bob@example.com>";

std::string expectedMail(const std::string& to, const std::string& subject, const std::string& notice) {
  return "To: " + to + "\r\nFrom: Tarnwick @Orvane <gateway@tarnwick-demo.example>\r\nSubject: @Or: " + subject +
         "\r\nDate: D\r\nMessage-ID: M\r\nAuto-Submitted: auto-replied\r\nMIME-Version: 1.0\r\n"
         "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 7bit\r\n\r\nCurrent status of your Tarnwick @Orvane\r\n\r\n" + notice;
}

// The mail of mails whose Subject line is subject (exactly one expected).
std::string mailWithSubject(const std::vector<std::string>& mails, const std::string& subject) {
  std::string found;
  int count = 0;
  for (const auto& m : mails)
    if (m.find("\r\nSubject: @Or: " + subject + "\r\n") != std::string::npos) {
      found = m;
      ++count;
    }
  EXPECT_EQ(count, 1) << subject;
  return withFixedStamps(found);
}

const LogRecord* rowWithSubject(const std::vector<LogRecord>& rows, const std::string& subject) {
  for (const auto& r : rows)
    if (r.message().header("subject") == subject) return &r;
  return nullptr;
}

// Jane (contact 1) and Bob (contact 2) each file a request; Jane's is
// @O01001, Bob's @O01002. Their acknowledgements are drained.
long fileTwoRequests(World& w) {
  // One after the other: the mailbox's order is the server's choice.
  w.maildir().drop(message(std::string(kJane) + "Subject: Heating off\r\n", "No heat in B2.\r\n"));
  w.cycle().doAll();
  w.maildir().drop(message(std::string(kBob) + "Subject: Tap\r\n", "Tap drips.\r\n"));
  w.cycle().doAll();
  EXPECT_EQ(w.spool().fresh().size(), 2u);
  std::vector<LogRecord> waiting = w.rows(kLogWaiting);
  const LogRecord* jane = rowWithSubject(waiting, "Heating off");
  EXPECT_TRUE(jane);
  if (!jane) return 0;
  EXPECT_EQ(jane->get(104), "@O01001");
  return jane->getNumber(kLrWrKey);
}

TEST(EnquiryRuns, EachEnquiryAnsweredOnceWithItsText) {
  ORV_REQUIRE_PEERS();
  World w;
  long janeRequest = fileTwoRequests(w);
  ASSERT_GT(janeRequest, 0);

  w.maildir().drop(message(std::string(kJane) + "Subject: status please\r\n", "[1] update;;[12] @O01001;;"));
  w.maildir().drop(message(std::string(kJane) + "Subject: Re: @Or: Heating off (@O01001)\r\n", "[1] update;;"));
  w.maildir().drop(message(std::string(kBob) + "Subject: Re: @O01001\r\n", "[1] update;;"));
  w.maildir().drop(message(std::string(kJane) + "Subject: what about @O09999\r\n", "[1] update;;"));
  w.maildir().drop(message(std::string(kJane) + "Subject: any news?\r\n", "[1] update;;"));
  w.cycle().retrieveMail();
  ASSERT_EQ(w.rows(kLogSpecial).size(), 5u);

  // The request becomes a work order after the enquiries came in and
  // before the update run: the answers show the new state.
  std::string out = w.sim("transfer " + w.tarnwick() + " " + std::to_string(janeRequest) +
                          " --workdate 20300110 --interval 3");
  ASSERT_NE(out.find("work order"), std::string::npos) << out;

  for (int round = 0; round < 3; ++round) {
    w.cycle().updateLogs();
    w.cycle().sendAcknowledgements();
    EXPECT_TRUE(w.rows(kLogPendingAck).empty()) << "round " << round;
    EXPECT_TRUE(w.rows(kLogSpecial).empty()) << "round " << round;
  }
  EXPECT_TRUE(w.diagnosticTexts().empty()) << w.diagnosticTexts()[0];

  // Jane's creating row, now Transferred, gives summary and history.
  auto transferred = w.rows(kLogTransferred);
  ASSERT_EQ(transferred.size(), 1u);
  std::string details = transferred[0].get(kLrDetails).str();
  std::string history = transferred[0].get(kLrHistory).str();
  EXPECT_TRUE(std::regex_match(history, std::regex("\\d\\d/\\d\\d \\d\\d:\\d\\d Waiting\r\n"
                                                   "\\d\\d/\\d\\d \\d\\d:\\d\\d Transferred\r\n")))
      << history;
  ASSERT_FALSE(details.empty());
  std::string found = "Your work-request -- Number @O01001 -- is currently \"Transferred.\"\r\n"
                      "Here are the details:\r\n" + details + "\r\n"
                      "Here is the History for this work-request:\r\n" + history + "\r\n"
                      "Here is the Original work-request:\r\nHeating off\r\nNo heat in B2.\r\n\r\n\r\n";

  // Six mails in all: the Transferred notice and five answers, each once.
  auto mails = w.spool().fresh();
  EXPECT_EQ(mails.size(), 6u);
  EXPECT_EQ(mailWithSubject(mails, "status please"), expectedMail(kJaneTo, "status please", found));
  EXPECT_EQ(mailWithSubject(mails, "Re: @Or: Heating off (@O01001)"),
            expectedMail(kJaneTo, "Re: @Or: Heating off (@O01001)", found));
  // Bob asks about Jane's request: as if it did not exist.
  EXPECT_EQ(mailWithSubject(mails, "Re: @O01001"),
            expectedMail(kBobTo, "Re: @O01001", "No work-request with the number @O01001 was found for you.\r\n\r\n"));
  EXPECT_EQ(mailWithSubject(mails, "what about @O09999"),
            expectedMail(kJaneTo, "what about @O09999",
                         "No work-request with the number @O09999 was found for you.\r\n\r\n"));
  EXPECT_EQ(mailWithSubject(mails, "any news?"),
            expectedMail(kJaneTo, "any news?",
                         "Your status enquiry does not name a work-request. Please write its number, as our notices "
                         "show it, in the subject of your message.\r\n\r\n"));

  // The enquiries rest as Saved, each with one "Answered" line.
  auto saved = w.rows(kLogSaved);
  ASSERT_EQ(saved.size(), 5u);
  for (const LogRecord& r : saved) {
    std::string h = r.get(kLrHistory).str();
    EXPECT_TRUE(std::regex_match(h, std::regex("\\d\\d/\\d\\d \\d\\d:\\d\\d Answered\r\n"))) << h;
    EXPECT_TRUE(isEnquiryAnswer(r));
  }
  EXPECT_EQ(w.checkTables(), "");

  // After a restart (key lists and cache rebuilt from the file) the same.
  w.reload();
  w.cycle().doAll();
  EXPECT_TRUE(w.spool().fresh().empty());
  EXPECT_EQ(w.rows(kLogSaved).size(), 5u);
}

TEST(EnquiryRuns, ReplyToNeverReceivesAnAnswer) {
  ORV_REQUIRE_PEERS();
  World w;
  ASSERT_GT(fileTwoRequests(w), 0);
  // Someone forging Jane's From with their own Reply-To.
  w.maildir().drop(message(std::string(kJane) + "Reply-To: eve@evil.example\r\nSubject: Re: @O01001\r\n",
                           "[1] update;;"));
  w.cycle().doAll();
  auto mails = w.spool().fresh();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(w.spool().envelopeOf(),
            "MAIL FROM:<gateway@tarnwick-demo.example>\nRCPT TO:<jane.adams@tarnwick-demo.example>\n");
  EXPECT_NE(mails[0].find("is currently \"Waiting.\""), std::string::npos);
}

TEST(EnquiryRuns, VoidRequestAndFormReference) {
  ORV_REQUIRE_PEERS();
  World w;
  // A request that chose its own reference through field 12, later voided.
  w.maildir().drop(message(std::string(kBob) + "Subject: form\r\n", "[1] request;;[7] Door;;[8] Stuck.;;[12] BL-9;;"));
  w.cycle().doAll();
  ASSERT_EQ(w.spool().fresh().size(), 1u);
  long key = w.rows(kLogWaiting).at(0).getNumber(kLrWrKey);
  w.sim("void " + w.tarnwick() + " request " + std::to_string(key));
  w.maildir().drop(message(std::string(kBob) + "Subject: door?\r\n", "[1] update;;[12] BL-9;;"));
  w.cycle().retrieveMail();
  w.cycle().updateLogs();
  w.cycle().sendAcknowledgements();
  auto mails = w.spool().fresh();
  ASSERT_EQ(mails.size(), 2u);  // the Void notice and the answer
  std::string answer = mailWithSubject(mails, "door?");
  EXPECT_NE(answer.find("Your work-request -- Number BL-9 -- is currently \"Void.\"\r\n\r\n"
                        "Here is the History for this work-request:\r\n"),
            std::string::npos)
      << answer;
  EXPECT_NE(answer.find("Here is the Original work-request:\r\nDoor\r\nStuck.\r\n\r\n"), std::string::npos) << answer;
}

TEST(EnquiryRuns, OldUndeliverableCopiesCleanedAtTheNextUpdateRun) {
  ORV_REQUIRE_PEERS();
  World w;
  // A Waiting row with its notice still queued (not our copy to remove).
  w.maildir().drop(message(std::string(kBob) + "Subject: Tap\r\n", "Tap drips.\r\n"));
  w.cycle().retrieveMail();
  w.cycle().updateLogs();
  ASSERT_EQ(w.rows(kLogPendingAck).size(), 1u);

  // What an earlier version left: a Special row and two queued copies of
  // it, one per update run, each undeliverable.
  {
    LogsManager logs(w.gateway());
    LogRecord special(MailMessage(stringT(std::string(kBob) + "Subject: Re: @O01001\r\n\r\n[1] update;;")));
    special.set(kLrCDate, "20240105");
    special.set(kLrCTime, "101010");
    special.SetStatus(kLogSpecial);
    ASSERT_EQ(logs.Append(special), 0);
    for (int i = 0; i < 2; ++i) {
      LogRecord copy = special;
      copy.set(kLrKey, "");
      copy.SetStatus(kLogPendingAck);
      ASSERT_EQ(logs.Append(copy), 0);
    }
  }
  w.reload();
  ASSERT_EQ(w.rows(kLogPendingAck).size(), 3u);

  w.cycle().updateLogs();
  auto texts = w.diagnosticTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "2 undeliverable status-enquiry notice(s) removed from the queue");
  EXPECT_EQ(w.cycle().reportsMade(), 0u);  // a repair, not a failure
  // The Waiting row's notice and the one answer remain.
  EXPECT_EQ(w.rows(kLogPendingAck).size(), 2u);
  w.cycle().sendAcknowledgements();
  EXPECT_TRUE(w.rows(kLogPendingAck).empty());
  auto mails = w.spool().fresh();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_NE(mailWithSubject(mails, "Re: @O01001").find("is currently \"Waiting.\""), std::string::npos);

  w.cycle().updateLogs();
  EXPECT_EQ(w.diagnosticTexts().size(), 1u);  // nothing more to clean
  EXPECT_EQ(w.checkTables(), "");
}

}  // namespace
}  // namespace cycletest
