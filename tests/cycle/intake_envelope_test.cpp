// The return address picked at intake must be usable in an SMTP envelope:
// a crafted Reply-To that would become ESMTP parameters, or a bare local
// name, rejects the row as an invalid address.
#include <gtest/gtest.h>

#include "cycle/intake.h"
#include "cycle_test_support.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"
#include "mail/mail_message.h"

namespace {

LogRecord takenIn(const std::string& headers) {
  LogRecord row(MailMessage(stringT(headers + "\r\n" + "[1] request;;\r\n")));
  takeIn(row, intakeStamp(CycleClock::kStart));
  return row;
}

TEST(IntakeEnvelope, EnvelopeAddressesAreWholeAddrSpecs) {
  CycleClock clock;
  LogRecord parameters = takenIn("From: a@x.org\r\nReply-To: x> NOTIFY=NEVER ORCPT=rfc822;y@example.org\r\n");
  EXPECT_EQ(parameters.status(), kLogRejected);
  EXPECT_EQ(parameters.get(kLrHistory),
            "11/14 22:13 Invalid Return E-mail Address: 'x' at position 1\r\n");

  LogRecord local = takenIn("From: a@x.org\r\nReply-To: root\r\n");
  EXPECT_EQ(local.status(), kLogRejected);
  EXPECT_EQ(local.get(kLrHistory), "11/14 22:13 Invalid Return E-mail Address: 'root' at position 4\r\n");

  LogRecord spaced = takenIn("From: pat smith@x.org\r\n");
  EXPECT_EQ(spaced.status(), kLogRejected);

  LogRecord fine = takenIn("From: Pat <pat@x.org>\r\nReply-To: \"Desk\" <desk@y.org>\r\n");
  EXPECT_EQ(fine.status(), kLogPendingProcessing);
  EXPECT_TRUE(fine.get(kLrHistory).empty());
}

}  // namespace
