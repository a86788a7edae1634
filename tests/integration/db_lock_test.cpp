// Session locks between real processes: a child process holds session.lok
// or exclude.lok the way another program would, and this process asks for
// the modes the gateway asks for.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/user_interaction.h"
#include "db/gateway_database.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace {

namespace fs = std::filesystem;

class Recording : public UserInteraction {
 public:
  Recording() { setUserInteraction(this); }
  ~Recording() override { setUserInteraction(nullptr); }
  void messageBox(MessageIcon, const stringT&, const stringT& text) override { texts.push_back(text.str()); }
  bool saw(const std::string& part) const {
    for (const auto& t : texts)
      if (t.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> texts;
};

class CountingClock : public Clock {
 public:
  CountingClock() { setClock(this); }
  ~CountingClock() override { setClock(nullptr); }
  std::time_t now() override { return 0; }
  int64_t monotonicMs() override { return 0; }
  void sleepMs(int64_t) override { ++sleeps; }
  int sleeps = 0;
};

// A child process that holds something until told to let go.
class Holder {
 public:
  enum What { sharedSession, exclusiveSession, excludeFile };

  Holder(const std::string& dir, What what) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      bool held = hold(dir, what, ready[1], release[0]);
      _exit(held ? 0 : 3);
    }
    close(ready[1]);
    close(release[0]);
    releaseFd_ = release[1];
    char c = 0;
    held_ = read(ready[0], &c, 1) == 1 && c == '1';
    close(ready[0]);
  }
  ~Holder() {
    close(releaseFd_);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  bool held() const { return held_; }

 private:
  static bool hold(const std::string& dir, What what, int ready, int release) {
    std::unique_ptr<PlatformFile> file;
    std::unique_ptr<GatewayDatabase> db;
    bool ok;
    if (what == excludeFile) {
      ok = platformFileSystem().open(dir + "/exclude.lok", true, ShareMode::exclusive, &file) == 0;
    } else {
      db = std::make_unique<GatewayDatabase>(stringT(dir), nullptr);
      db->Lock(what == exclusiveSession);
      ok = db->sessionLocked() && db->exclusive() == (what == exclusiveSession);
    }
    char c = ok ? '1' : '0';
    if (write(ready, &c, 1) != 1) return false;
    (void)read(release, &c, 1);  // returns when the parent closes its end
    return ok;
  }

  pid_t pid_;
  int releaseFd_;
  bool held_ = false;
};

std::string makeDatabase(const std::string& name) {
  std::string dir = (fs::temp_directory_path() / ("orvlock-" + name + "-" + std::to_string(getpid()))).string();
  fs::remove_all(dir);
  EXPECT_TRUE(DatabaseContext::CreateDatabaseDirectory(stringT(dir), nullptr));
  return dir;
}

TEST(SessionLock, TwoProcessesShareAndExclusiveUseFallsBackToShared) {
  Recording shown;
  std::string dir = makeDatabase("shared");
  {
    Holder other(dir, Holder::sharedSession);
    ASSERT_TRUE(other.held());
    GatewayDatabase db(stringT(dir), nullptr);
    db.Lock(false);
    EXPECT_TRUE(db.sessionLocked());
    EXPECT_TRUE(shown.texts.empty());

    db.Lock(true);
    EXPECT_TRUE(shown.saw("DB cannot be locked for exclusive use"));
    EXPECT_TRUE(db.sessionLocked()) << "keeps working shared";
    EXPECT_FALSE(db.exclusive());

    GatewayDatabase fresh(stringT(dir), nullptr);
    fresh.Lock(true);  // no hold at all yet: falls back to shared too
    EXPECT_TRUE(fresh.sessionLocked());
    EXPECT_FALSE(fresh.exclusive());
  }
  // Once the other program has gone, exclusive use is granted.
  GatewayDatabase db(stringT(dir), nullptr);
  db.Lock(true);
  EXPECT_TRUE(db.exclusive());
  fs::remove_all(dir);
}

TEST(SessionLock, ExclusiveHolderKeepsOthersOut) {
  Recording shown;
  std::string dir = makeDatabase("exclusive");
  {
    Holder other(dir, Holder::exclusiveSession);
    ASSERT_TRUE(other.held());
    GatewayDatabase db(stringT(dir), nullptr);
    EXPECT_FALSE(db.Validate(false));
    EXPECT_TRUE(shown.saw("DB locked for exclusive use"));
    EXPECT_FALSE(db.sessionLocked());
  }
  fs::remove_all(dir);
}

TEST(SessionLock, ExcludeFileHeldTooLongGivesUpAfterTenRetries) {
  Recording shown;
  CountingClock clock;
  std::string dir = makeDatabase("exclude");
  GatewayDatabase db(stringT(dir), nullptr);
  db.Lock(false);
  ASSERT_TRUE(db.sessionLocked());
  {
    Holder other(dir, Holder::excludeFile);
    ASSERT_TRUE(other.held());
    db.Lock(true);
    EXPECT_EQ(clock.sleeps, 10);
    EXPECT_TRUE(shown.saw("Cannot obtain lock file"));
    EXPECT_TRUE(db.sessionLocked()) << "the present mode is kept";
    EXPECT_FALSE(db.exclusive());
  }
  db.Lock(true);
  EXPECT_TRUE(db.exclusive());
  fs::remove_all(dir);
}

}  // namespace
