#include "ui/console_api.h"

#include "common/configurations.h"
#include "common/diagnostics.h"
#include "common/string_mapper.h"
#include "cycle/connection_test.h"
#include "cycle/gateway_thread.h"
#include "cycle/processing_cycle.h"
#include "cycle/run_metrics.h"
#include "db/gateway_tables.h"
#include "ui/console_notices.h"
#include "ui/main_menu.h"
#include "ui/main_window.h"
#include "ui/settings_pages.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>

using nlohmann::json;

namespace {

std::string s(const stringT& text) { return text.str(); }

json menuJson(const Menu& menu) {
  json items = json::array();
  for (const MenuItem& item : menu) {
    json j = {{"text", s(item.text)}, {"command", item.command}, {"prompt", s(translatePrompt(item.prompt))}};
    if (!item.items.empty()) j["items"] = menuJson(item.items);
    items.push_back(std::move(j));
  }
  return items;
}

long longParam(const ApiParams& params, const char* name, long fallback) {
  auto it = params.find(name);
  if (it == params.end()) return fallback;
  try {
    size_t used = 0;
    long value = std::stol(it->second, &used);
    return used == it->second.size() ? value : fallback;
  } catch (const std::exception&) {
    return fallback;
  }
}

std::vector<long> keysOf(const json& body) {
  std::vector<long> keys;
  if (body.contains("keys") && body["keys"].is_array())
    for (const json& k : body["keys"])
      if (k.is_number_integer()) keys.push_back(k.get<long>());
  return keys;
}

// The statuses whose rows the log update follows and the acknowledgement
// run mails notices for; a row moved out of them gets no more notices.
json followedStatuses() {
  json followed = {kLogPendingProcessing, kLogWaiting, kLogTransferred, kLogSpecial, kLogPendingAck};
  if (configurations().getNumber(kFollowCompleted) != 0) followed.push_back(kLogCompleted);
  if (configurations().getNumber(kFollowVoid) != 0) followed.push_back(kLogVoid);
  return followed;
}

json result(const PageResult& r) {
  return {{"ok", r.ok}, {"message", s(r.message)}, {"cleared", r.cleared}};
}

ApiReply badRequest(const char* why) { return ApiReply{400, {{"ok", false}, {"message", why}}}; }

}  // namespace

ConsoleApi::ConsoleApi(ConsoleContext context) : context_(std::move(context)) {}

std::string ConsoleApi::dump(const json& body) { return body.dump(-1, ' ', false, json::error_handler_t::replace); }

ApiReply ConsoleApi::onGateway(const std::function<void(ApiReply&)>& work) {
  // The task and the waiting request share this; a request that gives up
  // marks the task dropped, and a task that has begun is always waited
  // for, since work refers to the request's own variables.
  struct Handoff {
    std::mutex mutex;
    std::condition_variable changed;
    enum { Queued, Running, Done, Dropped } state = Queued;
    std::exception_ptr error;
  };
  auto handoff = std::make_shared<Handoff>();
  ApiReply reply;
  bool posted = context_.thread->post([handoff, &work, &reply] {
    {
      std::lock_guard<std::mutex> lock(handoff->mutex);
      if (handoff->state == Handoff::Dropped) return;
      handoff->state = Handoff::Running;
    }
    try {
      work(reply);
    } catch (...) {
      handoff->error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(handoff->mutex);
    handoff->state = Handoff::Done;
    handoff->changed.notify_all();
  });
  if (!posted) return ApiReply{503, {{"message", "the gateway is stopping"}}};
  std::unique_lock<std::mutex> lock(handoff->mutex);
  handoff->changed.wait_for(lock, std::chrono::milliseconds(context_.busyWaitMs),
                            [&] { return handoff->state == Handoff::Done; });
  if (handoff->state == Handoff::Queued) {
    handoff->state = Handoff::Dropped;
    return busy();
  }
  handoff->changed.wait(lock, [&] { return handoff->state == Handoff::Done; });
  if (handoff->error) std::rethrow_exception(handoff->error);
  return reply;
}

ApiReply ConsoleApi::busy() const {
  std::string doing = context_.cycle ? s(translatePrompt(stringT(context_.cycle->status().snapshot().statusText))) : "";
  std::string text;
  if (doing.empty()) {
    text = s(translate("*The gateway is busy; try again in a moment."));
  } else {
    text = s(translateFormat("*The gateway is busy (%s); try again in a moment."));
    if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, doing);
  }
  return ApiReply{503, {{"error", "busy"}, {"message", text}}};
}

ApiReply ConsoleApi::health() {
  RunMetrics& m = runMetrics();
  json runs = json::object();
  for (size_t k = 0; k < kRunKinds; ++k) {
    RunFigures f = m.run(k);
    auto time = [](int64_t t) { return t > 0 ? json(t) : json(nullptr); };
    runs[std::string(runName(k))] = {{"lastStart", time(f.lastStart)},
                                     {"lastEnd", time(f.lastEnd)},
                                     {"result", f.lastResult == 1 ? json("ok") : f.lastResult == 2 ? json("failed") : json(nullptr)},
                                     {"running", f.running}};
  }
  json logs = json::object();
  bool busy = false;
  if (context_.cycle) {
    CycleSnapshot cycle = context_.cycle->status().snapshot();
    busy = cycle.busy;
    static const char* names[kLogStatusCount] = {"rejected", "pendingProcessing", "waiting", "transferred",
                                                 "completed", "void", "special", "saved", "pendingAcknowledgement",
                                                 "deleted"};
    for (int st = 0; st < kLogStatusCount; ++st) logs[names[st]] = cycle.counts[st];
  }
  bool maintenance = m.databaseOpen(Database::Maintenance), gateway = m.databaseOpen(Database::Gateway);
  ApiReply reply;
  reply.status = maintenance && gateway ? 200 : 503;
  reply.body = {{"ok", maintenance && gateway},
                {"busy", busy || runs_->unfinished.load() > 0},
                {"runs", runs},
                {"queues", {{"consoleRuns", runs_->unfinished.load()}, {"logs", logs}}},
                {"databases", {{"maintenance", maintenance}, {"gateway", gateway}}},
                {"warnings", json::array()}};
  if (IntakeHold hold = m.intakeHold(); hold != IntakeHold::None)
    reply.body["warnings"].push_back("mail_intake_stopped_" + std::string(intakeHoldName(hold)));
  return reply;
}

std::string ConsoleApi::metrics() {
  RunMetrics& m = runMetrics();
  std::ostringstream out;
  auto family = [&](const char* name, const char* type, const char* help) {
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
  };
  family("orvane_messages_retrieved_total", "counter", "Messages retrieved from the mailbox and stored as logs.");
  out << "orvane_messages_retrieved_total " << m.messagesRetrieved() << '\n';
  family("orvane_requests_created_total", "counter", "Work requests created from mail.");
  out << "orvane_requests_created_total " << m.requestsCreated() << '\n';
  family("orvane_notices_sent_total", "counter", "Notices accepted by the SMTP server.");
  out << "orvane_notices_sent_total " << m.noticesSent() << '\n';
  family("orvane_failures_total", "counter", "Failures of the runs, by kind.");
  for (size_t k = 0; k < kFailureKinds; ++k)
    out << "orvane_failures_total{kind=\"" << failureName(k) << "\"} " << m.failures(k) << '\n';
  family("orvane_run_duration_seconds", "summary", "Time the runs took.");
  for (size_t k = 0; k < kRunKinds; ++k) {
    RunFigures f = m.run(k);
    out << "orvane_run_duration_seconds_sum{run=\"" << runName(k) << "\"} " << f.durationMs / 1000.0 << '\n';
    out << "orvane_run_duration_seconds_count{run=\"" << runName(k) << "\"} " << f.runs << '\n';
  }
  family("orvane_run_last_end_timestamp_seconds", "gauge", "When each run last ended (0: never).");
  for (size_t k = 0; k < kRunKinds; ++k)
    out << "orvane_run_last_end_timestamp_seconds{run=\"" << runName(k) << "\"} " << m.run(k).lastEnd << '\n';
  family("orvane_run_last_success", "gauge", "1 when the run's last end reported nothing, 0 otherwise.");
  for (size_t k = 0; k < kRunKinds; ++k)
    out << "orvane_run_last_success{run=\"" << runName(k) << "\"} " << (m.run(k).lastResult == 1 ? 1 : 0) << '\n';
  family("orvane_run_running", "gauge", "1 while the run is in progress.");
  for (size_t k = 0; k < kRunKinds; ++k)
    out << "orvane_run_running{run=\"" << runName(k) << "\"} " << (m.run(k).running ? 1 : 0) << '\n';
  if (context_.cycle) {
    CycleSnapshot cycle = context_.cycle->status().snapshot();
    family("orvane_logs", "gauge", "Logs in each status.");
    for (int st = 0; st < kLogStatusCount; ++st) out << "orvane_logs{status=\"" << st << "\"} " << cycle.counts[st] << '\n';
  }
  family("orvane_database_open", "gauge", "1 when the database is open.");
  out << "orvane_database_open{database=\"maintenance\"} " << (m.databaseOpen(Database::Maintenance) ? 1 : 0) << '\n';
  out << "orvane_database_open{database=\"gateway\"} " << (m.databaseOpen(Database::Gateway) ? 1 : 0) << '\n';
  return out.str();
}

ApiReply ConsoleApi::get(const std::string& path, const ApiParams& params) {
  if (path == "/api/state") return state(params);
  if (path == "/api/session") return session();
  if (path == "/api/logs") return logsGet(params);
  if (path == "/api/log") return logGet(params);
  if (path == "/api/about") return about();
  if (path == "/api/settings") return settingsGet();
  if (path == "/api/accounts") return accountsGet();
  if (path == "/api/account") return accountGet(params);
  if (path == "/api/contacts") return contactsGet();
  if (path == "/api/connectiontest") return connectionTestGet(params);
  return ApiReply{404, {{"message", "not found"}}};
}

ApiReply ConsoleApi::post(const std::string& path, const json& body) {
  if (!body.is_object()) return badRequest("a JSON object is expected");
  try {
    if (path == "/api/command") return command(body);
    if (path == "/api/logs") return logsPost(body);
    if (path == "/api/setting") return settingPost(body);
    if (path == "/api/accounts") return accountsPost(body);
    if (path == "/api/connectiontest") return connectionTestPost(body);
  } catch (const json::exception&) {
    return badRequest("malformed request");
  }
  return ApiReply{404, {{"message", "not found"}}};
}

ApiReply ConsoleApi::session() {
  ApiReply reply;
  Menu menu = mainMenu();
  translateMenu(menu);
  json texts = json::object();
  for (const char* key : consoleTexts()) texts[key] = s(translate(key));
  json statuses = json::array();
  for (int st = 0; st < kLogStatusCount; ++st) statuses.push_back(s(logStatusText(st)));
  reply.body = {{"title", s(translate("*Tarnwick @Orvane"))},
                {"menu", menuJson(menu)},
                {"texts", texts},
                {"statuses", statuses},
                {"welcome", s(context_.window->welcomeText())}};
  return reply;
}

ApiReply ConsoleApi::state(const ApiParams& params) {
  ApiReply reply;
  CycleSnapshot cycle = context_.cycle->status().snapshot();
  json counts = json::array();
  json categories = json::array();
  for (int st = 0; st < kLogStatusCount; ++st) {
    counts.push_back(cycle.counts[st]);
    categories.push_back(s(categoryText(st, cycle.counts[st])));
  }
  json notices = json::array();
  for (const ConsoleNotice& n : context_.notices->since(static_cast<uint64_t>(longParam(params, "notices", 0))))
    notices.push_back({{"id", n.id}, {"icon", iconName(n.icon)}, {"caption", s(n.caption)}, {"text", s(n.text)}});
  uint64_t generation = diagnostics().generation();
  json diagnosticRows = json::array();
  if (longParam(params, "diagnostics", -1) != static_cast<long>(generation)) {
    for (const DiagnosticEntry& e : diagnostics().snapshot())
      diagnosticRows.push_back({s(e.time), s(e.description)});
  } else {
    diagnosticRows = nullptr;  // unchanged since the page's last look
  }
  reply.body = {{"status", s(translatePrompt(stringT(cycle.statusText)))},
                {"busy", cycle.busy || runs_->unfinished.load() > 0},
                {"generation", cycle.generation},
                {"counts", counts},
                {"categories", categories},
                {"notices", notices},
                {"diagnosticsGeneration", generation},
                {"diagnostics", diagnosticRows}};
  return reply;
}

ApiReply ConsoleApi::command(const json& body) {
  int command = body.value("command", 0);
  if (command == kCmdExit) {
    if (context_.requestExit) context_.requestExit();
    return ApiReply{200, {{"ok", true}}};
  }
  CycleAction action;
  switch (command) {
    case kCmdRetrieve: action = CycleAction::Retrieve; break;
    case kCmdUpdate: action = CycleAction::Update; break;
    case kCmdAcknowledge: action = CycleAction::Acknowledge; break;
    case kCmdDoAll: action = CycleAction::All; break;
    default: return badRequest("unknown command");
  }
  // The same run waiting for its turn already covers this request: it
  // starts after the run in hand and sees everything this one would.
  std::atomic<bool>& waiting = runs_->waiting[static_cast<size_t>(action)];
  if (waiting.exchange(true)) return ApiReply{200, {{"ok", true}}};
  ++runs_->unfinished;
  ProcessingCycle* cycle = context_.cycle;
  bool posted = context_.thread->post([cycle, action, runs = runs_] {
    runs->waiting[static_cast<size_t>(action)] = false;
    struct Done {
      std::atomic<int>& unfinished;
      ~Done() { --unfinished; }
    } done{runs->unfinished};
    cycle->runAction(action);
  });
  if (!posted) {
    --runs_->unfinished;
    waiting = false;
    return ApiReply{503, {{"message", "the gateway is stopping"}}};
  }
  return ApiReply{200, {{"ok", true}}};
}

ApiReply ConsoleApi::logsGet(const ApiParams& params) {
  long status = longParam(params, "status", -1);
  if (status < 0 || status >= kLogStatusCount) return badRequest("status 0 to 9 expected");
  return onGateway([&](ApiReply& reply) {
    json rows = json::array();
    for (const LogRow& row : context_.window->logs(static_cast<int>(status)))
      rows.push_back({{"key", row.key}, {"from", s(row.from)}, {"subject", s(row.subject)},
                      {"ref", s(row.reference)}, {"received", s(row.received)},
                      {"receivedOrder", s(row.receivedOrder)}});
    reply.body = {{"status", status}, {"label", s(logStatusText(static_cast<int>(status)))}, {"rows", rows},
                  {"followed", followedStatuses()}};
  });
}

ApiReply ConsoleApi::logGet(const ApiParams& params) {
  long key = longParam(params, "key", 0);
  return onGateway([&](ApiReply& reply) {
    LogView view = context_.window->view(key);
    json lines = json::array();
    for (const stringT& line : view.printLines) lines.push_back(s(line));
    reply.body = {{"found", view.found},   {"key", key},
                  {"text", s(view.text)},  {"details", s(view.details)},
                  {"mailto", s(view.mailto)}, {"printLines", lines},
                  {"printTitle", s(view.printTitle)}};
  });
}

ApiReply ConsoleApi::logsPost(const json& body) {
  std::string name = body.value("command", "");
  LogCommand command;
  if (name == "save") command = LogCommand::Save;
  else if (name == "delete") command = LogCommand::Delete;
  else if (name == "copy") command = LogCommand::Copy;
  else if (name == "move") command = LogCommand::Move;
  else return badRequest("unknown log command");
  std::vector<long> keys = keysOf(body);
  int listed = body.value("listed", -1);
  int target = body.value("target", -1);
  return onGateway([&](ApiReply& reply) {
    int changed = context_.window->logCommand(command, keys, listed, target);
    reply.body = {{"ok", changed == static_cast<int>(keys.size())}, {"changed", changed}};
  });
}

static const char* kindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::Text: return "text";
    case FieldKind::Number: return "number";
    case FieldKind::Port: return "port";
    case FieldKind::Secret: return "secret";
    case FieldKind::Choice: return "choice";
    case FieldKind::Check: return "check";
  }
  return "text";
}

// A settings page's fields. Secrets are write-only: the page learns
// whether one is set, never its value.
static json fieldsJson(const std::vector<ShownField>& fields) {
  json list = json::array();
  for (const ShownField& f : fields) {
    json field = {{"setting", f.field->number}, {"label", s(translate(f.field->label))},
                  {"kind", kindName(f.field->kind)}, {"set", f.isSet}};
    if (f.field->kind != FieldKind::Secret && !isSecretSetting(f.field->number)) field["value"] = s(f.value);
    if (f.field->group) field["group"] = s(translate(f.field->group));
    if (f.field->kind == FieldKind::Number && f.field->emptyMeans) field["hint"] = f.field->emptyMeans;
    if (!f.field->choices.empty()) {
      json choices = json::array();
      for (const FieldChoice& c : f.field->choices) choices.push_back({{"value", c.value}, {"text", s(translate(c.text))}});
      field["choices"] = choices;
    }
    list.push_back(std::move(field));
  }
  return list;
}

ApiReply ConsoleApi::settingsGet() {
  return onGateway([&](ApiReply& reply) {
    PreferencesValues prefs = context_.settings->preferences();
    json email = fieldsJson(context_.settings->emailPage());
    json limits = fieldsJson(context_.settings->limitsPage());
    json units = json::array();
    for (const IntervalUnit& u : prefs.units) units.push_back({{"text", s(u.text)}, {"factor", u.factor}});
    json texts = json::object(), checks = json::object();
    for (int n = 152; n <= 155; ++n) texts[std::to_string(n)] = s(prefs.texts.get(n));
    for (int n = 156; n <= 159; ++n) checks[std::to_string(n)] = prefs.checks.get(n) == "1";
    reply.body = {{"email", email},
                  {"limits", limits},
                  {"interval", {{"quantity", prefs.quantity}, {"unit", prefs.unitFactor}, {"units", units}}},
                  {"texts", texts},
                  {"checks", checks}};
  });
}

ApiReply ConsoleApi::settingPost(const json& body) {
  if (body.contains("interval")) {
    const json& i = body.at("interval");
    // The number field goes as typed, so a text that is not a number is
    // refused rather than read as 0.
    const json& q = i.at("quantity");
    stringT quantity(q.is_string() ? q.get<std::string>() : q.is_number_integer() ? std::to_string(q.get<long>()) : "?");
    long unit = i.at("unit").get<long>();
    return onGateway([&](ApiReply& r) { r.body = result(context_.settings->storeInterval(quantity, unit)); });
  }
  int setting = body.at("setting").get<int>();
  if (body.contains("checked")) {
    bool checked = body.at("checked").get<bool>();
    return onGateway([&](ApiReply& r) { r.body = result(context_.settings->storeCheck(setting, checked)); });
  }
  stringT value(body.at("value").get<std::string>());
  // Asked before a change: the secrets it would clear, by label, so the
  // page can warn before anything is stored.
  if (body.value("dryRun", false))
    return onGateway([&](ApiReply& r) {
      json labels = json::array();
      std::vector<int> cleared = context_.settings->secretsClearedByText(setting, value);
      for (int secret : cleared) labels.push_back(s(secretName(secret)));
      r.body = {{"ok", true}, {"cleared", cleared}, {"labels", labels}};
    });
  return onGateway([&](ApiReply& r) { r.body = result(context_.settings->storeText(setting, value)); });
}

ApiReply ConsoleApi::accountsGet() {
  return onGateway([&](ApiReply& reply) {
    json rows = json::array();
    for (const AccountEntry& a : context_.accounts->list())
      rows.push_back({{"key", a.contactKey}, {"name", s(a.name)}, {"phone", s(a.phone)},
                      {"email", s(a.email)}, {"disabled", a.disabled}});
    reply.body = {{"rows", rows}};
  });
}

ApiReply ConsoleApi::accountGet(const ApiParams& params) {
  long key = longParam(params, "key", -1);
  if (key < 0) return badRequest("key expected");
  return onGateway([&](ApiReply& reply) {
    AccountDetails d = context_.accounts->details(key);
    reply.body = {{"found", d.found}, {"key", key}, {"description", s(d.description)},
                  {"receive", d.receiveAcknowledgements}, {"disabled", d.disabled}};
  });
}

ApiReply ConsoleApi::contactsGet() {
  return onGateway([&](ApiReply& reply) {
    json rows = json::array();
    for (const ContactEntry& c : context_.accounts->contacts())
      rows.push_back({{"key", c.key}, {"name", s(c.name)}, {"phone", s(c.phone)}, {"email", s(c.email)}});
    reply.body = {{"rows", rows}};
  });
}

ApiReply ConsoleApi::accountsPost(const json& body) {
  std::string action = body.value("action", "");
  std::vector<long> keys = keysOf(body);
  bool receive = body.value("receive", false), disabled = body.value("disabled", false);
  if (action != "add" && action != "edit" && action != "disable" && action != "delete")
    return badRequest("unknown accounts action");
  if (action == "edit" && keys.size() != 1) return badRequest("one key expected");
  return onGateway([&](ApiReply& reply) {
    PageResult r;
    if (action == "add") r = context_.accounts->add(keys);
    else if (action == "edit") r = context_.accounts->edit(keys.front(), receive, disabled);
    else if (action == "disable") r = context_.accounts->setDisabled(keys, disabled);
    else r = context_.accounts->remove(keys);
    reply.body = result(r);
  });
}

ApiReply ConsoleApi::connectionTestPost(const json& body) {
  std::string server = body.value("server", "");
  if (server != "pop3" && server != "smtp") return badRequest("server pop3 or smtp expected");
  uint64_t id;
  {
    std::lock_guard<std::mutex> lock(tests_->mutex);
    id = ++tests_->last;
    tests_->results[id] = std::nullopt;
    // A page that went away never asks for its result; keep the latest few.
    while (tests_->results.size() > ConnectionTests::kKept) tests_->results.erase(tests_->results.begin());
  }
  // The test waits on the network for seconds: it is posted like a run,
  // and the page asks for its lines until they are there.
  ProcessingCycle* cycle = context_.cycle;
  bool posted = context_.thread->post([cycle, server, id, tests = tests_] {
    std::vector<std::string> lines;
    try {
      FieldMap settings = configurations().settings();  // as stored
      auto stop = [cycle] { return cycle->stopRequested(); };
      for (const stringT& line : server == "pop3" ? testPop3Connection(settings, cycle->oauth(), stop)
                                                  : testSmtpConnection(settings, cycle->oauth(), stop))
        lines.push_back(line.str());
    } catch (const std::exception& e) {
      lines.push_back(e.what());
    }
    std::lock_guard<std::mutex> lock(tests->mutex);
    if (auto it = tests->results.find(id); it != tests->results.end()) it->second = std::move(lines);
  });
  if (!posted) return ApiReply{503, {{"message", "the gateway is stopping"}}};
  return ApiReply{200, {{"ok", true}, {"id", id}}};
}

ApiReply ConsoleApi::connectionTestGet(const ApiParams& params) {
  long id = longParam(params, "id", 0);
  std::lock_guard<std::mutex> lock(tests_->mutex);
  auto it = tests_->results.find(static_cast<uint64_t>(id));
  if (id <= 0 || it == tests_->results.end()) return ApiReply{404, {{"message", "no such connection test"}}};
  if (!it->second) return ApiReply{200, {{"done", false}}};
  json lines = json::array();
  for (const std::string& line : *it->second) lines.push_back(line);
  return ApiReply{200, {{"done", true}, {"lines", lines}}};
}

ApiReply ConsoleApi::about() {
  ApiReply reply;
  json controls = json::object();
  for (const DialogControl& c : context_.about.controls) controls[std::to_string(c.id)] = s(c.text);
  reply.body = {{"caption", s(context_.about.caption)}, {"controls", controls}};
  return reply;
}
