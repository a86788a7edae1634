// Console requests that need the gateway thread while a run holds it:
// they answer 503 "busy" after a short wait instead of hanging, and the
// request given up never runs later.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "common/configurations.h"
#include "cycle/gateway_thread.h"
#include "cycle/processing_cycle.h"
#include "cycle/run_metrics.h"
#include "db/gateway_database.h"
#include "db/maintenance_database.h"
#include "ui/console_api.h"
#include "ui/console_notices.h"

namespace {

struct HeldGateway {
  GatewayDatabase gateway{"/nonexistent/@Orvane", nullptr};
  MaintenanceDatabase maintenance{"/nonexistent", nullptr};
  ConfigurationsManager settings;
  ProcessingCycle cycle{gateway, maintenance, settings};
  GatewayThread thread;
  ConsoleNotices notices;
  std::unique_ptr<ConsoleApi> api;
  std::promise<void> gate;

  HeldGateway() {
    thread.start();
    std::shared_future<void> held = gate.get_future().share();
    EXPECT_TRUE(thread.post([held] { held.wait(); }));
    ConsoleContext context;
    context.thread = &thread;
    context.cycle = &cycle;
    context.notices = &notices;
    context.busyWaitMs = 200;
    api = std::make_unique<ConsoleApi>(context);
  }
  ~HeldGateway() { thread.stop(); }
  void release() {
    gate.set_value();
    EXPECT_TRUE(thread.call([] {}));
  }
};

}  // namespace

TEST(ConsoleBusy, ARequestBehindARunAnswersBusyAndIsDropped) {
  HeldGateway held;
  held.cycle.status().setStatusText("*retrieving mail");
  ApiReply reply = held.api->get("/api/logs", {{"status", "1"}});
  EXPECT_EQ(reply.status, 503);
  EXPECT_EQ(reply.body.value("error", ""), "busy");
  EXPECT_NE(reply.body.value("message", "").find("retrieving mail"), std::string::npos);
  // The state comes from the snapshot and does not wait.
  EXPECT_EQ(held.api->get("/api/state", {}).status, 200);
  // The dropped request does not run once the thread is free (it would
  // reach the null window and crash).
  held.release();
}

TEST(ConsoleBusy, AConnectionTestIsPostedAndItsLinesAreFetchedOnceItHasRun) {
  HeldGateway held;
  FieldMap saved = configurations().settings();
  // A word the set-up refuses: the test stops before the network, and its
  // one line says why.
  configurations().set(kSmtpSecurity, "ssl3");
  ApiReply posted = held.api->post("/api/connectiontest", {{"server", "smtp"}});
  ASSERT_EQ(posted.status, 200);  // at once, though the thread is held
  uint64_t id = posted.body.value("id", uint64_t(0));
  ASSERT_GT(id, 0u);
  ApiReply waiting = held.api->get("/api/connectiontest", {{"id", std::to_string(id)}});
  EXPECT_EQ(waiting.status, 200);
  EXPECT_FALSE(waiting.body.value("done", true));
  EXPECT_EQ(held.api->post("/api/connectiontest", {{"server", "imap"}}).status, 400);
  EXPECT_EQ(held.api->get("/api/connectiontest", {{"id", "999"}}).status, 404);
  held.release();
  ApiReply done = held.api->get("/api/connectiontest", {{"id", std::to_string(id)}});
  EXPECT_TRUE(done.body.value("done", false));
  ASSERT_EQ(done.body["lines"].size(), 1u);
  EXPECT_EQ(done.body["lines"][0].get<std::string>(), "Setting 323 holds \"ssl3\": that is not one of its choices");
  configurations().settings() = saved;
}

TEST(ConsoleBusy, HealthAndMetricsAnswerWhileTheGatewayIsHeld) {
  HeldGateway held;
  runMetrics().setDatabaseOpen(Database::Maintenance, true);
  runMetrics().setDatabaseOpen(Database::Gateway, false);
  ApiReply health = held.api->health();
  EXPECT_EQ(health.status, 503);
  EXPECT_FALSE(health.body["databases"]["gateway"].get<bool>());
  EXPECT_TRUE(health.body["runs"].contains("retrieve"));
  EXPECT_TRUE(health.body["queues"]["logs"].contains("pendingAcknowledgement"));
  runMetrics().setDatabaseOpen(Database::Gateway, true);
  EXPECT_EQ(held.api->health().status, 200);

  uint64_t before = runMetrics().noticesSent();
  runMetrics().noticeSent();
  runMetrics().failed(FailureKind::Smtp);
  std::string text = held.api->metrics();
  EXPECT_NE(text.find("orvane_notices_sent_total " + std::to_string(before + 1) + "\n"), std::string::npos);
  EXPECT_NE(text.find("orvane_failures_total{kind=\"smtp\"} "), std::string::npos);
  EXPECT_NE(text.find("# TYPE orvane_run_duration_seconds summary"), std::string::npos);
  held.release();
  runMetrics().setDatabaseOpen(Database::Maintenance, false);
  runMetrics().setDatabaseOpen(Database::Gateway, false);
}

TEST(RunMetrics, ARunTimerRecordsStartEndAndWhetherItReported) {
  uint64_t reports = 0;
  size_t update = static_cast<size_t>(RunType::Update);
  uint64_t runsBefore = runMetrics().run(update).runs;
  {
    RunTimer timer(RunType::Update, reports);
    EXPECT_TRUE(runMetrics().run(update).running);
    EXPECT_GT(runMetrics().run(update).lastStart, 0);
  }
  RunFigures clean = runMetrics().run(update);
  EXPECT_FALSE(clean.running);
  EXPECT_EQ(clean.lastResult, 1);
  EXPECT_EQ(clean.runs, runsBefore + 1);
  EXPECT_GE(clean.lastEnd, clean.lastStart);
  {
    RunTimer timer(RunType::Update, reports);
    ++reports;
  }
  EXPECT_EQ(runMetrics().run(update).lastResult, 2);
}
