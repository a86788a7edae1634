// Test connection with settings that name no server: one clear line, and
// no attempt to reach "" on the default port.
#include <gtest/gtest.h>

#include "common/configurations.h"
#include "cycle/connection_test.h"
#include "mail/mail_test_support.h"
#include "mail/tcp_line_io.h"

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

// A server that accepts and never says a word: the test ends at the run's
// deadline (setting 380) or at the stop request, and says which.
TEST(ConnectionTest, TestEndsAtTheDeadlineOrStopOfARun) {
  FakeClock clock;
  ScriptedSockets net;
  net.addHost("mail.example.com", "192.0.2.10");
  setSockets(&net);
  FieldMap s;
  s.set(kPop3Server, "mail.example.com");
  s.set(kPop3Account, "gateway");
  s.set(kSmtpServer, "mail.example.com");
  s.set(kRunDeadline, "5");
  OAuthToken oauth;
  struct Case {
    const char* name;
    bool pop3;
    bool stop;
    const char* last;
  };
  const Case cases[] = {
      {"POP3 deadline", true, false, "The connection test stopped at its deadline of 5 seconds"},
      {"SMTP deadline", false, false, "The connection test stopped at its deadline of 5 seconds"},
      {"POP3 stop", true, true, "The connection test was stopped: the gateway is stopping"},
      {"SMTP stop", false, true, "The connection test was stopped: the gateway is stopping"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t start = clock.monotonicMs();
    auto stop = [&] { return c.stop; };
    std::vector<stringT> lines = c.pop3 ? testPop3Connection(s, oauth, stop) : testSmtpConnection(s, oauth, stop);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), stringT(c.last));
    // The deadline, one wait slice, and the pauses of closing (no more).
    EXPECT_LE(clock.monotonicMs() - start, (c.stop ? 0 : 5000) + kInterruptSliceMs + 2000);
  }
  setSockets(nullptr);
}

}  // namespace
