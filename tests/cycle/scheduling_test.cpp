// The timer arithmetic, the gateway thread's queue and timers, the cycle
// lock and setTimer.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "cycle/cycle_lock.h"
#include "cycle/gateway_thread.h"
#include "cycle/processing_timer.h"
#include "cycle_test_support.h"

namespace {

TEST(ProcessingTimer, TicksNeverQueueUp) {
  ProcessingTimer t;
  EXPECT_FALSE(t.takeDue(1000));
  EXPECT_FALSE(t.untilDue(0).has_value());
  t.set(0, 100);
  EXPECT_EQ(*t.untilDue(30), 70);
  EXPECT_FALSE(t.takeDue(99));
  EXPECT_TRUE(t.takeDue(100));
  EXPECT_FALSE(t.takeDue(150));
  // A run from 200 to 555 spans four ticks: one event at its end, the next
  // on the original rhythm.
  EXPECT_TRUE(t.takeDue(200));
  EXPECT_TRUE(t.takeDue(555));
  EXPECT_FALSE(t.takeDue(555));
  EXPECT_EQ(*t.untilDue(555), 45);
  EXPECT_TRUE(t.takeDue(600));
  t.set(600, 0);
  EXPECT_FALSE(t.armed());
  EXPECT_FALSE(t.takeDue(100000));
}

TEST(GatewayThread, PumpRunsTasksThenDueTimersOnce) {
  CycleClock clock;
  GatewayThread gateway;
  std::vector<std::string> log;
  gateway.setTimer(1, 60000, [&] {
    log.push_back("tick");
    if (log.size() == 2) clock.advance(200000);  // a run longer than three periods
  });
  gateway.post([&] { log.push_back("task"); });
  EXPECT_EQ(gateway.pump(), 1);  // the task; no tick yet
  clock.advance(60000);
  EXPECT_EQ(gateway.pump(), 1);
  EXPECT_EQ(gateway.pump(), 1);  // the ticks that fell during the run: one
  EXPECT_EQ(gateway.pump(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"task", "tick", "tick"}));
  gateway.killTimer(1);
  clock.advance(1000000);
  EXPECT_EQ(gateway.pump(), 0);
}

TEST(GatewayThread, CallRunsOnTheGatewayThreadAndCarriesExceptions) {
  GatewayThread gateway;
  gateway.start();
  std::thread::id ranOn;
  EXPECT_TRUE(gateway.call([&] { ranOn = std::this_thread::get_id(); }));
  EXPECT_NE(ranOn, std::this_thread::get_id());
  // Calls from several threads are served one at a time, in full.
  std::atomic<int> inside{0}, overlaps{0}, done{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i)
    callers.emplace_back([&] {
      for (int j = 0; j < 50; ++j)
        (void)gateway.call([&] {
          if (++inside > 1) ++overlaps;
          --inside;
          ++done;
        });
    });
  for (auto& t : callers) t.join();
  EXPECT_EQ(done.load(), 200);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_THROW(gateway.call([] { throw std::runtime_error("x"); }), std::runtime_error);
  // A nested call from the gateway thread runs at once instead of waiting
  // for itself.
  bool nested = false;
  EXPECT_TRUE(gateway.call([&] { nested = gateway.call([] {}); }));
  EXPECT_TRUE(nested);
  gateway.stop();
  EXPECT_FALSE(gateway.call([] {}));
  EXPECT_FALSE(gateway.post([] {}));
}

TEST(GatewayThread, RealTimerFiresOnTheThread) {
  GatewayThread gateway;
  gateway.start();
  std::atomic<int> ticks{0};
  std::promise<void> first;
  gateway.setTimer(1, 1, [&] {
    if (++ticks == 1) first.set_value();
  });
  first.get_future().wait();
  gateway.stop();
  EXPECT_GE(ticks.load(), 1);
}

TEST(CycleLock, HoldMarksBusyAndExcludesOtherRuns) {
  CycleLock lock;
  EXPECT_FALSE(lock.busy());
  std::atomic<bool> taken{false};
  std::thread other;
  {
    CycleLock::Hold hold(lock);
    EXPECT_TRUE(static_cast<bool>(hold));
    EXPECT_TRUE(lock.busy());
    other = std::thread([&] {
      CycleLock::Hold second(lock);
      taken = true;
    });
    std::this_thread::yield();
    EXPECT_FALSE(taken.load());  // cannot be true while ours lives
  }
  other.join();
  EXPECT_TRUE(taken.load());
  EXPECT_FALSE(lock.busy());
}

}  // namespace

#include "common/configurations.h"
#include "common/user_interaction.h"
#include "cycle/processing_cycle.h"
#include "cycle/scheduler.h"
#include "db/gateway_database.h"
#include "db/maintenance_database.h"

namespace {

class Boxes : public UserInteraction {
 public:
  Boxes() { setUserInteraction(this); }
  ~Boxes() override { setUserInteraction(nullptr); }
  void messageBox(MessageIcon, const stringT&, const stringT& text) override { texts.push_back(text.str()); }
  std::vector<std::string> texts;
};

TEST(Scheduler, SetTimerFollowsSetting151) {
  CycleClock clock;
  Boxes boxes;
  GatewayDatabase gateway("/nonexistent/@Orvane", nullptr);
  MaintenanceDatabase maintenance("/nonexistent", nullptr);
  ConfigurationsManager settings;
  ProcessingCycle cycle(gateway, maintenance, settings);
  GatewayThread thread;
  Scheduler scheduler(cycle, thread);

  EXPECT_EQ(scheduler.armProcessingTimer(), 0);  // 151 empty: no timer
  EXPECT_FALSE(thread.timerArmed(kProcessingTimer));
  settings.set(kInterval, "15");
  EXPECT_EQ(scheduler.armProcessingTimer(), 0);
  EXPECT_EQ(thread.timerPeriodMs(kProcessingTimer), 900000);
  EXPECT_EQ(scheduler.settingsAccepted("15"), 0);  // unchanged: not restarted
  settings.set(kInterval, "60");
  EXPECT_EQ(scheduler.settingsAccepted("15"), 0);
  EXPECT_EQ(thread.timerPeriodMs(kProcessingTimer), 3600000);
  settings.set(kInterval, "40320");  // four weeks, kept as it is
  EXPECT_EQ(scheduler.settingsAccepted("60"), 0);
  EXPECT_EQ(thread.timerPeriodMs(kProcessingTimer), 40320LL * 60000);

  EXPECT_EQ(scheduler.setTimer(kProcessingTimer, -5), 1);
  EXPECT_EQ(boxes.texts, std::vector<std::string>{"Timer could not be set"});
  EXPECT_EQ(thread.timerPeriodMs(kProcessingTimer), 40320LL * 60000);  // the old one stays
  settings.set(kInterval, "0");
  EXPECT_EQ(scheduler.settingsAccepted("40320"), 0);
  EXPECT_FALSE(thread.timerArmed(kProcessingTimer));
  // A call before the thread runs cannot be served.
  EXPECT_FALSE(thread.call([] {}));
}

}  // namespace
