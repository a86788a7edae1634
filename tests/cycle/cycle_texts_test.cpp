// The texts of the cycle: request forms, intake decisions, notices, the
// acknowledgement mail and the summary lines, byte for byte.
#include <gtest/gtest.h>

#include "cycle/acknowledgement_mail.h"
#include "cycle/intake.h"
#include "cycle/notice_text.h"
#include "cycle/request_form.h"
#include "cycle/work_order_summary.h"
#include "cycle_test_support.h"
#include "common/configurations.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "mail/mail_message.h"

namespace {

LogRecord received(const std::string& headers, const std::string& body) {
  return LogRecord(MailMessage(stringT(headers + "\r\n" + body)));
}

TEST(RequestForm, FieldsActionsAndPendingCopy) {
  FieldMap form = parseRequestForm("x [1] request;; [7]  Leak ;;[14] 42;;[14] 9;;[14]7;;[17] 7x;;[8] no end");
  EXPECT_EQ(form.get(1), "request");
  EXPECT_EQ(form.get(7), " Leak ");  // untrimmed
  EXPECT_EQ(form.get(14), "42");      // first tag wins
  EXPECT_FALSE(form.contains(8));     // no ";;" after it
  EXPECT_EQ(classifyAction(form), FormAction::Request);
  EXPECT_EQ(classifyAction(parseRequestForm("[1] Request;;")), FormAction::Unrecognized);
  EXPECT_EQ(classifyAction(parseRequestForm("[1] update;;")), FormAction::Update);
  EXPECT_EQ(classifyAction(parseRequestForm("[1] ;;")), FormAction::None);
  EXPECT_EQ(classifyAction(parseRequestForm("[1] request")), FormAction::None);
  EXPECT_EQ(classifyAction(parseRequestForm("[18] request;;")), FormAction::None);

  FieldMap row;
  row.set(106, "kept");
  copyFormToPending(form, row);
  EXPECT_EQ(row.get(105), " Leak ");
  EXPECT_EQ(row.get(106), "kept");
  EXPECT_EQ(row.get(108), "42");
  EXPECT_EQ(row.get(101), "7");
  copyFormToPending(parseRequestForm("[14]abc;;"), row);
  EXPECT_EQ(row.get(108), "0");
  EXPECT_EQ(row.get(101), "0");
}

TEST(Intake, StatusesHistoryAndOldStatus) {
  CycleClock clock;
  IntakeStamp stamp = intakeStamp(CycleClock::kStart);
  EXPECT_EQ(stamp.date, "20231114");
  EXPECT_EQ(stamp.time, "221320");

  LogRecord plain = received("From: Ann <ann@x.org>\r\n", "leaking tap\r\n");
  takeIn(plain, stamp);
  EXPECT_EQ(plain.status(), kLogPendingProcessing);
  EXPECT_EQ(plain.get(kLrCDate), "20231114");
  EXPECT_EQ(plain.get(kLrCTime), "221320");
  EXPECT_TRUE(plain.get(kLrHistory).empty());
  EXPECT_FALSE(plain.fields().contains(kLrFlags));

  LogRecord request = received("From: ann@x.org\r\nReply-To: \"Desk\" <desk@y.org>\r\n", "[1] request;;");
  takeIn(request, stamp);
  EXPECT_EQ(request.status(), kLogPendingProcessing);
  EXPECT_EQ(request.get(kLrFlags), "1");

  LogRecord bad = received("From: Ann <ann@@x.org>\r\n", "[1] request;;");
  takeIn(bad, stamp);
  EXPECT_EQ(bad.status(), kLogRejected);
  EXPECT_EQ(bad.get(kLrHistory), "11/14 22:13 Invalid Return E-mail Address: 'ann@@x.org' at position 4\r\n");

  LogRecord badUpdate = received("From: <a@b..c>\r\n", "[1] update;;");
  takeIn(badUpdate, stamp);
  EXPECT_EQ(badUpdate.status(), kLogSpecial);  // the later assignment wins
  EXPECT_EQ(badUpdate.getNumber(kLrOldStatus), kLogRejected);

  LogRecord unknown = received("From: a@b.c\r\n", "[1] Request;;");
  takeIn(unknown, stamp);
  EXPECT_EQ(unknown.status(), kLogRejected);
  EXPECT_EQ(unknown.get(kLrHistory), "11/14 22:13 Unrecognized Action: 'Request'\r\n");

  // A control character is shown, not stored raw.
  LogRecord control = received("From: <a\x01@b.c>\r\n", "");
  takeIn(control, stamp);
  EXPECT_EQ(control.get(kLrHistory), "11/14 22:13 Invalid Return E-mail Address: 'a\\x01@b.c' at position 1\r\n");

  // Forms are read from the decoded text.
  LogRecord encoded = received("From: a@b.c\r\nContent-Transfer-Encoding: base64\r\n", "WzFdIHVwZGF0ZTs7\r\n");
  takeIn(encoded, stamp);
  EXPECT_EQ(encoded.status(), kLogSpecial);
}

TEST(NoticeText, SectionsAndShownStatus) {
  FieldMap row;
  row.set(104, "@O00042");
  row.setNumber(kLrStatus, kLogPendingAck);
  row.setNumber(kLrOldStatus, kLogWaiting);
  row.set(kLrDetails, "*Opened line.\r\n");
  row.set(kLrHistory, "01/02 03:04 *Waiting\r\n");
  row.set(105, "Tap");
  row.set(106, "It drips.");
  EXPECT_EQ(noticeText(row),
            "Your work-request -- Number @O00042 -- is currently \"Waiting.\"\r\n"
            "Here are the details:\r\n*Opened line.\r\n\r\n"
            "Here is the History for this work-request:\r\n01/02 03:04 *Waiting\r\n\r\n"
            "Here is the Original work-request:\r\nTap\r\nIt drips.\r\n\r\n");

  FieldMap bare;
  bare.set(kLrHistory, "h\r\n");
  bare.setNumber(kLrStatus, kLogTransferred);
  EXPECT_EQ(noticeText(bare), "Here is the History for this work-request:\r\nh\r\n\r\n");
  bare.set(104, "R");
  EXPECT_EQ(noticeText(bare).substr(0, 58).str(), "Your work-request -- Number R -- is currently \"Transferred");
}

TEST(AcknowledgementMail, RecipientChoice) {
  FieldMap account;
  account.set(1, "Jane Adams");
  account.set(4, "jane@x.org");
  MailMessage withReply(stringT("From: a@b.c\r\nReply-To: Desk <desk@y.org>\r\n\r\n"));
  Recipient r = chooseRecipient(withReply, &account);
  EXPECT_EQ(r.name, "Desk ");
  EXPECT_EQ(r.address, "desk@y.org");
  MailMessage plain(stringT("From: Ann <ann@x.org>\r\n\r\n"));
  r = chooseRecipient(plain, &account);
  EXPECT_EQ(r.name, "Jane Adams");
  EXPECT_EQ(r.address, "jane@x.org");
  MailMessage bareFrom(stringT("From: ann@x.org\r\n\r\n"));
  r = chooseRecipient(bareFrom, nullptr);
  EXPECT_EQ(r.name, "");
  EXPECT_EQ(r.address, "ann@x.org");
}

TEST(AcknowledgementMail, ComposedTextByteForByte) {
  FieldMap settings;
  settings.set(kTitle, "Tarnwick @Orvane");
  settings.set(kSubjectPrefix, "@Or:");
  settings.set(kFirstLine, "Current status");
  settings.set(kReturnAddress, "gw@tarnwick.example");
  AckHeaders headers{"Tue, 14 Nov 2023 22:13:20 +0000", "<1.2.3@tarnwick.example>", {}, {}, {}};
  stringT text = composeAcknowledgement(settings, {"", "ann@x.org"}, "Leak", headers, "NOTICE");
  EXPECT_EQ(text,
            "To:  <ann@x.org>\r\nFrom: Tarnwick @Orvane <gw@tarnwick.example>\r\nSubject: @Or: Leak\r\n"
            "Date: Tue, 14 Nov 2023 22:13:20 +0000\r\nMessage-ID: <1.2.3@tarnwick.example>\r\n"
            "Auto-Submitted: auto-replied\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: 7bit\r\n\r\n"
            "Current status\r\n\r\nNOTICE");
  settings.set(kSubjectPrefix, "");
  text = composeAcknowledgement(settings, {"Ann", ""}, "Re: x\r\n y", headers, "");
  EXPECT_NE(text.find("To: Ann\r\n"), stringT::npos);
  EXPECT_NE(text.find("Subject: Re: x\r\n y\r\n"), stringT::npos);  // a fold stays
  // A line break that is no fold cannot start a header line.
  text = composeAcknowledgement(settings, {"Ann\nBcc: x", "a@b.c"}, "s\r\nBcc: evil", headers, "");
  EXPECT_EQ(text.find("\nBcc"), stringT::npos);
  EXPECT_NE(text.find("Subject: s  Bcc: evil\r\n"), stringT::npos);
}

TEST(AcknowledgementMail, DateMessageIdAndControlCharacters) {
  CycleClock clock;
  EXPECT_EQ(rfc5322Date(CycleClock::kStart), "Tue, 14 Nov 2023 22:13:20 +0000");
  stringT a = makeMessageId(CycleClock::kStart, "gw@tarnwick.example");
  stringT b = makeMessageId(CycleClock::kStart, "gw@tarnwick.example");
  EXPECT_NE(a, b);
  EXPECT_TRUE(a.startsWith("<1700000000.") && a.endsWith("@tarnwick.example>"));
  EXPECT_TRUE(makeMessageId(0, "gw@bad host>").endsWith("@orvane.invalid>"));
  EXPECT_EQ(controlCharacterAt("a@b.c"), -1);
  EXPECT_EQ(controlCharacterAt("a@b\r\n.c"), 3);
  EXPECT_EQ(controlCharacterAt(stringT("a\x7f", 2)), 1);
  EXPECT_EQ(printable(stringT("a\0b\n", 4)), "a\\x00b\\x0A");
}

TEST(WorkOrderSummary, EventLines) {
  WorkOrderFacts order{"WO-17     ", "20240105", "20240120", "Washer replaced", "20240110", "     3"};
  // Without a message file the date format is shown without its marker.
  EXPECT_EQ(displayDate("20240105"), "January 05, 2024");
  EXPECT_EQ(displayDate("2024013x"), "2024013x");
  EXPECT_EQ(displayDate("        "), "");
  EXPECT_EQ(scheduleText(order), "20240110     3");

  SummaryEvent opened = summarizeWorkOrderEvent(kLogTransferred, kLogWaiting, true, "", order, false);
  EXPECT_TRUE(opened.report);
  EXPECT_EQ(opened.line,
            "Opened W/O Number WO-17 on January 05, 2024.  Work scheduled to start on January 10, 2024 for 3 "
            "day(s).\r\n");
  EXPECT_EQ(*opened.schedule, "20240110     3");

  // Same schedule (stored padded to 15), same status: nothing to tell.
  EXPECT_FALSE(summarizeWorkOrderEvent(kLogTransferred, kLogWaiting, false, "20240110     3 ", order, false).report);

  WorkOrderFacts moved = order;
  moved.workDate = "20240201";
  SummaryEvent re = summarizeWorkOrderEvent(kLogTransferred, kLogWaiting, false, "20240110     3 ", moved, false);
  EXPECT_EQ(re.line, "Rescheduled W/O Number WO-17.  Work scheduled to start on February 01, 2024 for 3 day(s).\r\n");

  SummaryEvent reopened = summarizeWorkOrderEvent(kLogTransferred, kLogCompleted, true, "20240110     3", order, false);
  EXPECT_TRUE(reopened.line.startsWith("Reopened W/O Number WO-17 on January 05, 2024."));

  EXPECT_EQ(summarizeWorkOrderEvent(kLogCompleted, kLogTransferred, true, "", order, false).line,
            "Closed W/O Number WO-17 on January 20, 2024.\r\n");
  EXPECT_EQ(summarizeWorkOrderEvent(kLogCompleted, kLogTransferred, true, "", order, true).line,
            "Closed W/O Number WO-17 on January 20, 2024.  Washer replaced\r\n");
  EXPECT_EQ(summarizeWorkOrderEvent(kLogVoid, kLogTransferred, true, "", order, true).line,
            "Voided W/O Number WO-17 on January 20, 2024.\r\n");
  EXPECT_EQ(summarizeWorkOrderEvent(kLogWaiting, kLogTransferred, true, "", order, true).line,
            "Waiting W/O Number WO-17 on January 20, 2024.\r\n");
}

}  // namespace
