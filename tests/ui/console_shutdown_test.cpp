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
