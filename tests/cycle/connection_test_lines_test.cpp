// Test connection with settings that name no server: one clear line, and
// no attempt to reach "" on the default port.
#include <gtest/gtest.h>

#include "common/configurations.h"
#include "cycle/connection_test.h"

namespace {

TEST(ConnectionTest, NoServerNameIsSaidPlainly) {
  FieldMap s;
  s.set(kPop3Server, "   ");
  s.set(kSmtpServer, "");
  OAuthToken oauth;
  EXPECT_EQ(testPop3Connection(s, oauth), std::vector<stringT>{stringT("No POP3 server is set.")});
  EXPECT_EQ(testSmtpConnection(s, oauth), std::vector<stringT>{stringT("No SMTP server is set.")});
  EXPECT_EQ(oauth.requests(), 0);
}

}  // namespace
