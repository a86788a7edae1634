// ConsoleApi: the JSON interface of the operator console, independent of
// the HTTP server that carries it (console_server.h).
//
//   GET  /api/session            title, menu, texts, categories' names
//   GET  /api/state?notices=N    status text, busy, counts, notices after
//                                N, diagnostics (newest first)
//   GET  /api/logs?status=S      the rows of category S, and the statuses
//                                that get notices
//   GET  /api/log?key=K          message text, details, mailto, print lines
//   GET  /api/about              the About box
//   GET  /api/settings           E-mail fields (a secret only as set or
//                                not, never its value) and Preferences
//   GET  /api/accounts           the account list
//   GET  /api/account?key=K      Account Details (K 0: Everybody)
//   GET  /api/contacts           the Select Requestors list
//   POST /api/command            {command}: a run, or Exit
//   POST /api/logs               {command: save|delete|copy|move, keys,
//                                 listed, target}
//   POST /api/setting            {setting, value} | {interval: {quantity,
//                                 unit}} | {setting, checked}
//   POST /api/accounts           {action: add|edit|disable|delete, keys,
//                                 receive, disabled}
//   POST /api/connectiontest     {server: pop3|smtp}: posts a "Test
//                                connection" with the settings as stored;
//                                answers {id} at once
//   GET  /api/connectiontest?id=N {done: false} while it runs, then
//                                {done: true, lines: [one per step]}
// Replies are JSON objects; a refused change is 200 with ok false and a
// message (the page shows it where the change was made).
//
// Every reply that needs managers, tables or settings is computed on the
// gateway thread; the state comes from snapshots and never waits for a
// run. Runs are posted and return at once. A request that the gateway
// thread does not take up within busyWaitMs (a run is waiting on the
// network) is dropped and answers 503 {"error":"busy","message":...}, so
// no console request hangs behind a run.
//
// health() and metrics() (/healthz, /metrics) read only published
// figures (cycle/run_metrics.h, the cycle's snapshot): they answer during
// a run and never show text from mail or tables.
//
// Texts from mail and tables travel as JSON strings; bytes that are not
// UTF-8 are replaced, never sent raw. The page never puts them into HTML
// as markup (console_security.h).
//
// Thread-safety: get and post may be called from any thread at once.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ui/menus.h"

class GatewayThread;
class ProcessingCycle;
class MainWindow;
class SettingsPages;
class AccountsPage;
class ConsoleNotices;

struct ConsoleContext {
  GatewayThread* thread = nullptr;
  ProcessingCycle* cycle = nullptr;
  MainWindow* window = nullptr;
  SettingsPages* settings = nullptr;
  AccountsPage* accounts = nullptr;
  ConsoleNotices* notices = nullptr;
  Dialog about;                       // filled and translated by the program
  std::function<void()> requestExit;  // Session > Exit
  int busyWaitMs = 2000;              // how long a request waits for the gateway thread
};

struct ApiReply {
  int status = 200;
  nlohmann::json body = nlohmann::json::object();
};

using ApiParams = std::multimap<std::string, std::string>;

class ConsoleApi {
 public:
  explicit ConsoleApi(ConsoleContext context);

  ApiReply get(const std::string& path, const ApiParams& params);
  ApiReply post(const std::string& path, const nlohmann::json& body);

  // GET /healthz: last start, end and result of each run, queue lengths,
  // whether both databases are open; 503 when one is not. "warnings" lists
  // "mail_intake_stopped_..." while the disk budget stops the intake.
  ApiReply health();
  // GET /metrics: the counters in Prometheus text format.
  std::string metrics();

  // The JSON text of a reply body (non-UTF-8 bytes replaced).
  static std::string dump(const nlohmann::json& body);

 private:
  ApiReply session();
  ApiReply state(const ApiParams& params);
  ApiReply command(const nlohmann::json& body);
  ApiReply logsGet(const ApiParams& params);
  ApiReply logGet(const ApiParams& params);
  ApiReply logsPost(const nlohmann::json& body);
  ApiReply settingsGet();
  ApiReply settingPost(const nlohmann::json& body);
  ApiReply accountsGet();
  ApiReply accountGet(const ApiParams& params);
  ApiReply contactsGet();
  ApiReply accountsPost(const nlohmann::json& body);
  ApiReply connectionTestPost(const nlohmann::json& body);
  ApiReply connectionTestGet(const ApiParams& params);
  ApiReply about();

  // Runs work on the gateway thread; 503 when the thread is gone or busy
  // for longer than busyWaitMs.
  ApiReply onGateway(const std::function<void(ApiReply&)>& work);
  // 503 {"error":"busy","message"}: what the gateway is doing, translated.
  ApiReply busy() const;

  ConsoleContext context_;
  // The runs posted to the gateway thread that have not ended, and which
  // actions have one that has not started. Shared with the posted runs: one
  // may still be queued or running when the console (and this object) is
  // gone.
  struct PostedRuns {
    std::atomic<int> unfinished{0};
    std::array<std::atomic<bool>, 4> waiting{};  // by CycleAction
  };
  std::shared_ptr<PostedRuns> runs_ = std::make_shared<PostedRuns>();
  // Connection tests by id: no lines while one runs. Shared with the
  // posted tests, as the runs are.
  struct ConnectionTests {
    static constexpr size_t kKept = 16;
    std::mutex mutex;
    uint64_t last = 0;
    std::map<uint64_t, std::optional<std::vector<std::string>>> results;
  };
  std::shared_ptr<ConnectionTests> tests_ = std::make_shared<ConnectionTests>();
};
