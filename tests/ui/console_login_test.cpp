// The console's login parts on their own: the session store, the login
// throttle and the password hash.
#include <gtest/gtest.h>

#include "ui/console_password.h"
#include "ui/console_sessions.h"
#include "ui/login_throttle.h"

TEST(SessionStore, SessionsEndByLogoutIdleTimeAgeAndCrowding) {
  int64_t now = 1000;
  SessionStore::Limits limits;
  limits.idleSeconds = 100;
  limits.maxAgeSeconds = 250;
  limits.maxSessions = 3;
  SessionStore store(limits, [&] { return now; });

  ConsoleSession a = store.create();
  EXPECT_EQ(a.id.size(), 64u);
  EXPECT_NE(a.id, a.csrfToken);
  ASSERT_TRUE(store.find(a.id));
  EXPECT_EQ(store.find(a.id)->csrfToken, a.csrfToken);
  EXPECT_FALSE(store.find(""));
  EXPECT_FALSE(store.find(a.csrfToken));  // the CSRF token is not a session id
  EXPECT_FALSE(store.find(a.id.substr(0, 63)));

  // Use keeps a session alive up to its maximum age.
  for (int i = 0; i < 2; ++i) {
    now += 90;
    EXPECT_TRUE(store.find(a.id)) << i;
  }
  now += 90;  // 270 s old
  EXPECT_FALSE(store.find(a.id));

  ConsoleSession idle = store.create();
  now += 100;
  EXPECT_FALSE(store.find(idle.id));

  ConsoleSession b = store.create();
  EXPECT_TRUE(store.end(b.id));
  EXPECT_FALSE(store.end(b.id));
  EXPECT_FALSE(store.find(b.id));

  // A fourth live session pushes out the least recently used.
  ConsoleSession s1 = store.create();
  ++now;
  ConsoleSession s2 = store.create();
  ++now;
  ConsoleSession s3 = store.create();
  ++now;
  EXPECT_TRUE(store.find(s1.id));
  ConsoleSession s4 = store.create();
  EXPECT_EQ(store.size(), 3u);
  EXPECT_TRUE(store.find(s1.id));
  EXPECT_FALSE(store.find(s2.id));
  EXPECT_TRUE(store.find(s3.id));
  EXPECT_TRUE(store.find(s4.id));
}

TEST(LoginThrottle, FailuresSlowTheClientDownAndTheWholeServerPastALimit) {
  LoginThrottle throttle;
  int64_t now = 5000;
  for (int i = 0; i < LoginThrottle::kFreeFailures; ++i) {
    EXPECT_EQ(throttle.waitBefore("10.0.0.1", now), 0);
    throttle.failed("10.0.0.1", now);
  }
  EXPECT_EQ(throttle.waitBefore("10.0.0.1", now), 0);
  throttle.failed("10.0.0.1", now);
  EXPECT_EQ(throttle.waitBefore("10.0.0.1", now), 1);
  EXPECT_EQ(throttle.waitBefore("10.0.0.2", now), 0);  // others are not held up
  throttle.failed("10.0.0.1", now);
  EXPECT_EQ(throttle.waitBefore("10.0.0.1", now), 2);
  for (int i = 0; i < 20; ++i) throttle.failed("10.0.0.1", now);
  EXPECT_EQ(throttle.waitBefore("10.0.0.1", now), LoginThrottle::kMaxDelaySeconds);
  throttle.succeeded("10.0.0.1");
  // 22 failures in this minute: a client without failures of its own is
  // never held, whatever others guess; one that failed waits for the
  // minute to pass.
  EXPECT_EQ(throttle.waitBefore("10.0.0.1", now + 10), 0);
  EXPECT_EQ(throttle.waitBefore("10.0.0.9", now + 10), 0);
  throttle.failed("10.0.0.9", now + 10);
  EXPECT_EQ(throttle.waitBefore("10.0.0.9", now + 10), 50);
  EXPECT_EQ(throttle.waitBefore("10.0.0.9", now + 60), 0);
  // A client's failures are forgotten after a quiet while.
  for (int i = 0; i < 10; ++i) throttle.failed("10.0.0.3", now);
  EXPECT_GT(throttle.waitBefore("10.0.0.3", now + 30), 0);
  EXPECT_EQ(throttle.waitBefore("10.0.0.3", now + LoginThrottle::kForgetSeconds), 0);
}

TEST(LoginThrottle, ManySourcesCannotGrowItsTable) {
  LoginThrottle throttle;
  for (size_t i = 0; i < LoginThrottle::kMaxClients * 3; ++i)
    throttle.failed("client" + std::to_string(i), static_cast<int64_t>(i) * 100);
  // The newest clients are still remembered.
  std::string last = "client" + std::to_string(LoginThrottle::kMaxClients * 3 - 1);
  // (Soon after its first failure: a client quiet for long is forgotten.)
  const int64_t soon = static_cast<int64_t>(LoginThrottle::kMaxClients * 3 - 1) * 100 + 1;
  for (int i = 0; i < LoginThrottle::kFreeFailures; ++i) throttle.failed(last, soon);
  EXPECT_GT(throttle.waitBefore(last, soon), 0);
}

TEST(ConsolePassword, Argon2idHashesVerifyOnlyTheirPassword) {
  std::optional<std::string> hash = hashConsolePassword("correct horse");
  ASSERT_TRUE(hash);
  EXPECT_EQ(hash->rfind("$argon2id$", 0), 0u);
  EXPECT_EQ(hash->find("correct"), std::string::npos);
  EXPECT_TRUE(checkConsolePassword(*hash, "correct horse"));
  EXPECT_FALSE(checkConsolePassword(*hash, "correct horsE"));
  EXPECT_FALSE(checkConsolePassword(*hash, ""));
  EXPECT_NE(*hashConsolePassword("correct horse"), *hash);  // salted
  for (const char* bad : {"", "correct horse", "$argon2i$v=19$m=4096,t=3,p=1$c2FsdHNhbHQ$aGFzaGhhc2g", "$argon2id$garbage"})
    EXPECT_FALSE(checkConsolePassword(bad, "correct horse")) << bad;
}
