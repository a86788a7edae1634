// Intake reads the return address and the request form through the MIME
// view: mail as today's programs send it.
#include <gtest/gtest.h>

#include "common/string_mapper.h"
#include "cycle/acknowledgement_mail.h"
#include "cycle/intake.h"
#include "cycle/status_enquiry.h"
#include "cycle_test_support.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "mail/mail_message.h"

namespace {

LogRecord received(const std::string& text) { return LogRecord(MailMessage(stringT(text))); }

// A multipart/alternative whose parts are base64: no form is visible in
// the raw body.
std::string alternative(const std::string& from, const std::string& plainBase64, const std::string& htmlBase64) {
  return "From: " + from +
         "\r\nSubject: =?utf-8?q?R=C3=A9f=C3=A9rence_=40O01001?=\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n" +
         (plainBase64.empty() ? ""
                              : "--alt\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
                                "base64\r\n\r\n" + plainBase64 + "\r\n") +
         "--alt\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
         htmlBase64 + "\r\n--alt--\r\n";
}

TEST(IntakeMime, ReturnAddressIsTheMailboxNotTheFirstAngleBrackets) {
  CycleClock clock;
  IntakeStamp stamp = intakeStamp(CycleClock::kStart);
  // The display name holds angle brackets; the address is after it.
  LogRecord quoted = received("From: \"Ann <ann@@x.org>\" <ann@example.org>\r\n\r\nhello\r\n");
  takeIn(quoted, stamp);
  EXPECT_EQ(quoted.status(), kLogPendingProcessing);
  EXPECT_TRUE(quoted.get(kLrHistory).empty()) << quoted.get(kLrHistory).str();

  // An encoded display name and a Reply-To that wins.
  LogRecord encoded = received(
      "From: =?utf-8?q?Ren=C3=A9e?= <renee@example.org>\r\nReply-To: =?utf-8?b?RMOpc2s=?= <desk@@example.org>\r\n\r\nx\r\n");
  takeIn(encoded, stamp);
  EXPECT_EQ(encoded.status(), kLogRejected);
  EXPECT_EQ(encoded.get(kLrHistory),
            "11/14 22:13 *Invalid Return E-mail Address: 'desk@@example.org' at position 5\r\n");
}

TEST(IntakeMime, FormsInsideMultipartBase64AndHtml) {
  CycleClock clock;
  IntakeStamp stamp = intakeStamp(CycleClock::kStart);
  // "[1] update;;" as base64 plain text beside an HTML part.
  LogRecord update = received(alternative("a@b.example", "WzFdIHVwZGF0ZTs7", "PHA+WzFdIHVwZGF0ZTs7PC9wPg=="));
  takeIn(update, stamp);
  EXPECT_EQ(update.status(), kLogSpecial);

  // An HTML-only form: "<p>[1]&nbsp;request;;</p><p>[7] Tap;;</p>" (the
  // non-breaking space after the tag reads as a space).
  LogRecord html = received(alternative("a@b.example", "", "PHA+WzFdJm5ic3A7cmVxdWVzdDs7PC9wPjxwPls3XSBUYXA7OzwvcD4="));
  takeIn(html, stamp);
  EXPECT_EQ(html.status(), kLogPendingProcessing);
  EXPECT_EQ(html.get(kLrFlags), "1");
}

TEST(IntakeMime, EnquiryReferenceFromTheDecodedParts) {
  ASSERT_EQ(stringMapper().loadMessages(std::string(ORV_TEST_DATA) + "/../../messages/msg0000.txt"), 0);
  struct Unload {
    ~Unload() { stringMapper().clear(); }
  } unload;
  // "[12] @O00042;;" in a base64 part; the Subject names another one.
  LogRecord form = received(alternative("a@b.example", "WzEyXSBATzAwMDQyOzs=", "PHA+eDwvcD4="));
  EXPECT_EQ(enquiryReference(form.message()), "@O00042");
  // No form: the reference in the decoded Subject.
  LogRecord subject = received(alternative("a@b.example", "", "PHA+eDwvcD4="));
  EXPECT_EQ(enquiryReference(subject.message()), "@O01001");
  // The answer goes to the decoded sender.
  LogRecord named = received("From: \"Lee, Bob\" <bob@example.com>\r\n\r\n");
  Recipient to = enquiryRecipient(named.message(), nullptr);
  EXPECT_EQ(to.name, "Lee, Bob");
  EXPECT_EQ(to.address, "bob@example.com");
}

}  // namespace
