#include <gtest/gtest.h>

#include "mail/address.h"
#include "mail/mail_message.h"

namespace {

int check(const char* text) { return validateAddress(text, static_cast<int>(std::string(text).size())); }

TEST(SplitAddress, LeadingTextAndBracketedAddress) {
  EXPECT_EQ(splitAddress("Jane Doe <jane@example.com>"), std::make_pair(stringT("Jane Doe "), stringT("jane@example.com")));
  EXPECT_EQ(splitAddress("bare@example.com"), std::make_pair(stringT(), stringT()));
  EXPECT_EQ(splitAddress("Name <unclosed"), std::make_pair(stringT("Name "), stringT()));
  EXPECT_EQ(splitAddress("\"A, B\" <a@b.c> <x@y.z>"), std::make_pair(stringT("\"A, B\" "), stringT("a@b.c")));
  EXPECT_EQ(splitAddress("> <>"), std::make_pair(stringT("> "), stringT()));
}

TEST(ValidateAddress, AcceptedForms) {
  EXPECT_EQ(check("jane@example.com"), kAddressAccepted);
  EXPECT_EQ(check("  jane.doe+tag@mail.example.com"), kAddressAccepted);  // leading blanks, + in the local part
  EXPECT_EQ(check("postmaster"), kAddressAccepted);                       // no "@": a local mailbox
  EXPECT_EQ(check("j\xe9r\xf4me@exampl\xe9.fr"), kAddressAccepted);       // bytes above 127 are ordinary
}

TEST(ValidateAddress, RefusedAtTheOffendingPosition) {
  EXPECT_EQ(check("jane@.example.com"), 5);
  EXPECT_EQ(check("jane@example..com"), 13);
  EXPECT_EQ(check("jane@"), 5);
  EXPECT_EQ(check("jane@example."), 13);
  EXPECT_EQ(check("jane@exa@mple.com"), 8);
  EXPECT_EQ(check("jane@exa+mple.com"), 8);
  EXPECT_EQ(check("jane@example.com "), 16);
  EXPECT_EQ(check("jane@example.com (Jane)"), 16);
  EXPECT_EQ(check("@example.com"), 0);
  EXPECT_EQ(check(""), 0);
  EXPECT_EQ(check("   "), 3);
  EXPECT_EQ(check(" \tjane@example.com"), 1);  // a tab is a control character, refused even while leading
  EXPECT_EQ(check("ja\x7fne"), 2);
  EXPECT_EQ(validateAddress(stringT("a\0b@c", 5), 5), 1);
  EXPECT_EQ(validateAddress("jane@example.com", 5), 5);  // only the given length is read
}

TEST(ReturnAddress, ReplyToWinsThenFromThenTheWholeValue) {
  EXPECT_EQ(returnAddress(MailMessage("From: a@x.y\r\nReply-To: Desk <desk@x.y>\r\n\r\n")), "desk@x.y");
  EXPECT_EQ(returnAddress(MailMessage("From: Ann <a@x.y>\r\nReply-To:\r\n\r\n")), "a@x.y");
  EXPECT_EQ(returnAddress(MailMessage("From: Broken <\r\n\r\n")), "Broken ");
  EXPECT_EQ(returnAddress(MailMessage("From: a@x.y\r\n\r\n")), "a@x.y");
  EXPECT_EQ(returnAddress(MailMessage("Subject: none\r\n\r\n")), "");
}

}  // namespace
