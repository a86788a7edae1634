// Runs posted by the console while the gateway thread is busy, and what
// becomes of them when the program stops.
//
// A run posted by the console can outlive the console: the program stops
// the console (and drops its ConsoleApi) on SIGTERM while the gateway
// thread is still busy with runs the operator asked for. The finished run
// must not touch the dropped ConsoleApi (the sanitizer build reports a
// heap-use-after-free otherwise).
#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "common/configurations.h"
#include "cycle/gateway_thread.h"
#include "cycle/processing_cycle.h"
#include "db/gateway_database.h"
#include "db/maintenance_database.h"
#include "ui/console_api.h"
#include "ui/console_notices.h"
#include "ui/main_menu.h"

namespace {

// A gateway thread held busy until release(), a console on it, and a cycle
// without a return address: every acknowledgement run reports that, so
// reportsMade() counts the runs that ran.
struct BusyConsole {
  GatewayDatabase gateway{"/nonexistent/@Orvane", nullptr};
  MaintenanceDatabase maintenance{"/nonexistent", nullptr};
  ConfigurationsManager settings;
  ProcessingCycle cycle{gateway, maintenance, settings};
  GatewayThread thread;
  ConsoleNotices notices;
  std::unique_ptr<ConsoleApi> api;
  std::promise<void> gate;

  BusyConsole() {
    thread.start();
    std::shared_future<void> held = gate.get_future().share();
    EXPECT_TRUE(thread.post([held] { held.wait(); }));
    ConsoleContext context;
    context.thread = &thread;
    context.cycle = &cycle;
    context.notices = &notices;
    api = std::make_unique<ConsoleApi>(context);
  }
  ~BusyConsole() { thread.stop(); }
  int command(int id) { return api->post("/api/command", nlohmann::json{{"command", id}}).status; }
  // Lets the thread go and waits until it has run everything queued.
  void release() {
    gate.set_value();
    EXPECT_TRUE(thread.call([] {}));
  }
};

uint64_t reportsOfOneAcknowledge() {
  BusyConsole one;
  EXPECT_EQ(one.command(kCmdAcknowledge), 200);
  one.release();
  return one.cycle.reportsMade();
}

TEST(ConsoleShutdown, CommandsForARunThatIsWaitingAreThatRun) {
  uint64_t one = reportsOfOneAcknowledge();
  ASSERT_GT(one, 0u);

  BusyConsole console;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(console.command(kCmdAcknowledge), 200);
  EXPECT_TRUE(console.api->get("/api/state", {}).body.value("busy", false));
  console.release();
  EXPECT_EQ(console.cycle.reportsMade(), one);
  EXPECT_FALSE(console.api->get("/api/state", {}).body.value("busy", true));

  // Once that run has started, the same command queues a new one.
  EXPECT_EQ(console.command(kCmdAcknowledge), 200);
  EXPECT_TRUE(console.thread.call([] {}));
  EXPECT_EQ(console.cycle.reportsMade(), 2 * one);
}

TEST(ConsoleShutdown, RunsQueuedWhenTheProgramStopsAreDropped) {
  BusyConsole console;
  EXPECT_EQ(console.command(kCmdAcknowledge), 200);
  EXPECT_EQ(console.command(kCmdDoAll), 200);
  console.cycle.requestStop();
  console.release();
  EXPECT_EQ(console.cycle.reportsMade(), 0u);
  EXPECT_FALSE(console.api->get("/api/state", {}).body.value("busy", true));
}

TEST(ConsoleShutdown, RunQueuedByTheConsoleFinishesAfterTheConsoleIsGone) {
  GatewayDatabase gateway("/nonexistent/@Orvane", nullptr);
  MaintenanceDatabase maintenance("/nonexistent", nullptr);
  ConfigurationsManager settings;
  ProcessingCycle cycle(gateway, maintenance, settings);
  GatewayThread thread;
  thread.start();

  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  ASSERT_TRUE(thread.post([gate] { gate.wait(); }));  // the thread is busy

  ConsoleNotices notices;
  ConsoleContext context;
  context.thread = &thread;
  context.cycle = &cycle;
  context.notices = &notices;
  auto api = std::make_unique<ConsoleApi>(context);
  ApiReply queued = api->post("/api/command", nlohmann::json{{"command", kCmdUpdate}});
  ASSERT_EQ(queued.status, 200);
  ApiReply busy = api->get("/api/state", {});
  EXPECT_TRUE(busy.body.value("busy", false));
  api.reset();  // the console stops first

  release.set_value();
  EXPECT_TRUE(thread.call([] {}));  // the queued run has finished
  thread.stop();
}

}  // namespace
