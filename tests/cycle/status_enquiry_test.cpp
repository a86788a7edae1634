// Status enquiries: how an enquiry names its request, where its answer
// goes, and the not-found texts, in English and French.
#include <gtest/gtest.h>

#include <string>

#include "common/string_mapper.h"
#include "cycle/status_enquiry.h"
#include "db/accounts_manager.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "mail/mail_message.h"

namespace {

MailMessage mail(const std::string& headers, const std::string& body) {
  return MailMessage(stringT(headers + "\r\n" + body));
}

class MessagesLoaded : public ::testing::Test {
 protected:
  void load(const char* file) {
    ASSERT_EQ(stringMapper().loadMessages(std::string(ORV_TEST_DATA) + "/../../messages/" + file), 0);
  }
  void TearDown() override { stringMapper().clear(); }
};

TEST(EnquiryReference, ShapeInText) {
  EXPECT_EQ(findReference("Re: @Or: Leak -- @O00042 still dripping", "@O%05ld"), "@O00042");
  // The prefix is found whatever its case; the result is our own form.
  EXPECT_EQ(findReference("about @o00042", "@O%05ld"), "@O00042");
  // The first one counts.
  EXPECT_EQ(findReference("@O00007 and @O00042", "@O%05ld"), "@O00007");
  // Longer numbers are taken whole, written back in the gateway's form.
  EXPECT_EQ(findReference("(@O123456)", "@O%05ld"), "@O123456");
  EXPECT_EQ(findReference("@O0000042", "@O%05ld"), "@O00042");
  // Too few digits, no digits, only the prefix, or absurdly many digits.
  EXPECT_EQ(findReference("@O42 and @O and @O0042x", "@O%05ld"), "");
  EXPECT_EQ(findReference("@O1234567890123456789012", "@O%05ld"), "");
  EXPECT_EQ(findReference("", "@O%05ld"), "");
  // A skipped false start does not hide a later reference.
  EXPECT_EQ(findReference("@O12 then @O00012", "@O%05ld"), "@O00012");
  // Another shape: a word prefix must start a word, a suffix must follow.
  EXPECT_EQ(findReference("REQ-00042/A", "REQ-%05ld/A"), "REQ-00042/A");
  EXPECT_EQ(findReference("XREQ-00042/A", "REQ-%05ld/A"), "");
  EXPECT_EQ(findReference("REQ-00042/B", "REQ-%05ld/A"), "");
  // A format that is no reference shape falls back to ours.
  EXPECT_EQ(findReference("see @O00042", "plain"), "@O00042");
  EXPECT_EQ(findReference("see @O00042", "%s"), "@O00042");
}

TEST_F(MessagesLoaded, ReferenceFromFieldTwelveThenSubjectThenNone) {
  // Without a message file the gateway numbers its requests "@O01001"
  // (the marked text without its marker), and finds those.
  EXPECT_EQ(enquiryReference(mail("Subject: Re: @O01001\r\n", "[1] update;;")), "@O01001");
  load("msg0000.txt");
  EXPECT_EQ(enquiryReference(mail("Subject: Re: @O00001\r\n", "[1] update;;[12]  @O00042 ;;")), "@O00042");
  // Field 12 is taken as given (a reference the requestor chose).
  EXPECT_EQ(enquiryReference(mail("Subject: x\r\n", "[1] update;;[12] JA-7;;")), "JA-7");
  // An empty field 12 falls through to the subject.
  EXPECT_EQ(enquiryReference(mail("Subject: Re: @Or: @O01001 leak\r\n", "[1] update;;[12] ;;")), "@O01001");
  // An encoded Subject is decoded first.
  EXPECT_EQ(enquiryReference(mail("Subject: =?UTF-8?Q?R=C3=A9f_@O01002?=\r\n", "[1] update;;")), "@O01002");
  // A quoted-printable body carries its form decoded.
  EXPECT_EQ(enquiryReference(mail("Subject: x\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                                  "[1] update;;[12] @O0=\r\n1003;;")),
            "@O01003");
  EXPECT_EQ(enquiryReference(mail("Subject: how is my request?\r\n", "[1] update;;")), "");
}

TEST_F(MessagesLoaded, NotFoundNoticesInBothLanguages) {
  load("msg0000.txt");
  EXPECT_EQ(notFoundNotice("@O00042"), "No work-request with the number @O00042 was found for you.\r\n\r\n");
  EXPECT_EQ(notFoundNotice(""),
            "Your status enquiry does not name a work-request. Please write its number, as our notices show it, "
            "in the subject of your message.\r\n\r\n");
  // What the sender wrote is echoed printable and bounded.
  EXPECT_EQ(notFoundNotice("a\rb"), "No work-request with the number a\\x0Db was found for you.\r\n\r\n");
  std::string shown = notFoundNotice(std::string(500, 'x')).str();
  EXPECT_LT(shown.size(), 200u);
  EXPECT_NE(shown.find(std::string(64, 'x') + "... was found"), std::string::npos) << shown;

  load("msg000c.txt");
  EXPECT_EQ(notFoundNotice("@O00042"),
            "Aucune demande de travaux portant le numéro @O00042 n'a été trouvée pour vous.\r\n\r\n");
  EXPECT_EQ(translate("*Answered"), "Réponse envoyée");
  EXPECT_EQ(translateFormat("*%ld undeliverable status-enquiry notice(s) removed from the queue"),
            "%ld avis de demande d'état impossibles à envoyer retirés de la file d'attente");
}

TEST(EnquiryAnswer, RecipientAndMarker) {
  // The account wins; Reply-To is never used for an answer.
  MailMessage m = mail("From: Bob <bob@example.com>\r\nReply-To: eve@evil.example\r\nSubject: s\r\n", "");
  FieldMap account;
  account.set(kAccountName, "Bob Lee");
  account.set(kAccountEmail, "bob@example.com");
  Recipient to = enquiryRecipient(m, &account);
  EXPECT_EQ(to.name, "Bob Lee");
  EXPECT_EQ(to.address, "bob@example.com");
  to = enquiryRecipient(m, nullptr);
  EXPECT_EQ(to.address, "bob@example.com");
  EXPECT_EQ(enquiryRecipient(mail("From: bare@example.com\r\n", ""), nullptr).address, "bare@example.com");

  LogRecord row;
  row.setNumber(kLrFlags, 1);
  EXPECT_FALSE(isEnquiryAnswer(row));
  row.setNumber(kLrFlags, 1 | kLogFlagEnquiryAnswer);
  EXPECT_TRUE(isEnquiryAnswer(row));
}

}  // namespace
