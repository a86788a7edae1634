// The processing timer at shutdown: the gateway thread outlives the main
// window's Scheduler, so the timer must leave the thread with it, or a tick
// that falls due between the window's end and the thread's stop calls into
// freed memory.
#include <gtest/gtest.h>

#include <memory>

#include "common/configurations.h"
#include "cycle/gateway_thread.h"
#include "cycle/processing_cycle.h"
#include "cycle/scheduler.h"
#include "cycle_test_support.h"
#include "db/gateway_database.h"
#include "db/maintenance_database.h"

namespace {

TEST(SchedulerShutdown, TimerLeavesTheThreadWithTheScheduler) {
  CycleClock clock;
  GatewayDatabase gateway("/nonexistent/@Orvane", nullptr);
  MaintenanceDatabase maintenance("/nonexistent", nullptr);
  ConfigurationsManager settings;
  settings.set(kInterval, "1");
  auto cycle = std::make_unique<ProcessingCycle>(gateway, maintenance, settings);
  GatewayThread thread;
  thread.start();
  auto scheduler = std::make_unique<Scheduler>(*cycle, thread);
  ASSERT_TRUE(thread.call([&] { ASSERT_EQ(scheduler->armProcessingTimer(), 0); }));
  ASSERT_TRUE(thread.timerArmed(kProcessingTimer));

  // Shutdown order of the program: the window (and its Scheduler) and the
  // cycle go on the gateway thread, the thread stops afterwards.
  ASSERT_TRUE(thread.call([&] {
    scheduler.reset();
    cycle.reset();
  }));
  EXPECT_FALSE(thread.timerArmed(kProcessingTimer));
  clock.advance(2 * Scheduler::kMsPerMinute);  // the tick falls due
  EXPECT_TRUE(thread.call([] {}));             // and the thread pumps its timers
  thread.stop();
}

}  // namespace
