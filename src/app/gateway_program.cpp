#include "app/gateway_program.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <future>

#include "app/about.h"
#include "app/console_login.h"
#include "app/settings_command.h"
#include "common/configurations.h"
#include "common/diagnostics.h"
#include "common/gui_session.h"
#include "common/journal.h"
#include "common/string_mapper.h"
#include "cycle/gateway_thread.h"
#include "cycle/processing_cycle.h"
#include "cycle/run_metrics.h"
#include "db/gateway_database.h"
#include "db/gateway_tables.h"
#include "db/maintenance_database.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/process_environment.h"
#include "platform/secret_input.h"
#include "platform/shutdown_signals.h"
#include "platform/whole_file.h"
#include "ui/console_api.h"
#include "ui/console_notices.h"
#include "ui/console_security.h"
#include "ui/console_server.h"
#include "ui/main_window.h"
#include "ui/settings_pages.h"

namespace {

CycleAction actionOf(RunKind kind) {
  switch (kind) {
    case RunKind::Retrieve: return CycleAction::Retrieve;
    case RunKind::Update: return CycleAction::Update;
    case RunKind::Acknowledge: return CycleAction::Acknowledge;
    default: return CycleAction::All;
  }
}

}  // namespace

int createGatewayDirectory(const stringT& path) {
  DirectoryInfo info;
  if (directoryInfo(path.str(), &info) == 0 && info.isDirectory) {
    // An empty directory (made by hand, or left by a start that failed
    // before its tables were made) is taken as just created, so the new
    // tables are made in it instead of refusing it for ever.
    bool empty = false;
    return directoryIsEmpty(path.str(), &empty) == 0 && empty ? 1 : 0;
  }
  if (makeDirectory(path.str()) == 0) {
    // The gateway's own files (received mail, the mailbox password) are
    // for the service and its group only.
    (void)platformFileSystem().setMode(path.str(), 0750);
    return 1;
  }
  guiSession().Error(translate("*Can't create directory") + "\n" + path);
  return 2;
}

GatewayProgram::GatewayProgram() = default;

GatewayProgram::~GatewayProgram() {
  if (interaction_) setUserInteraction(outerInteraction_);
}

int GatewayProgram::run(const std::vector<stringT>& args, const StartupIo& io) {
  // Blocked before any thread starts, so every thread inherits the mask
  // and only the waits below take the signals.
  blockShutdownSignals();

  notices_ = std::make_unique<ConsoleNotices>();
  outerInteraction_ = &userInteraction();
  interaction_ = std::make_unique<ConsoleInteraction>(*notices_, *outerInteraction_);
  setUserInteraction(interaction_.get());
  thread_ = std::make_unique<GatewayThread>();
  thread_->start();

  bool up = false;
  if (!thread_->call([&] { up = startUp(args, io); })) up = false;
  if (!up) {
    thread_->call([&] { shutDown(); });
    thread_->stop();
    return exitStatus_ != kExitClean || finished_ ? exitStatus_ : kExitMainWindow;
  }
  const CommandLine& options = app_.values().options;
  int status = options.setConsolePassword      ? setConsolePassword(io)
               : options.run != RunKind::None ? runOnce()
                                               : serveConsole(io);
  thread_->call([&] { shutDown(); });
  thread_->stop();
  return status;
}

bool GatewayProgram::startUp(const std::vector<stringT>& args, const StartupIo& io) {
  if (!app_.startUp(args, io)) {
    finished_ = app_.informationShown();
    exitStatus_ = app_.exitStatus() != 0 || finished_ ? app_.exitStatus() : kExitInvalidOption;
    return false;
  }
  if (app_.values().options.newConsoleToken) return writeNewConsoleToken(io);
  if (!app_.values().options.settings.empty()) return writeCommandLineSettings(io);
  if (!openDatabases()) return false;
  app_.readSettings();
  app_.openDiagnosticFile();
  cycle_ = std::make_unique<ProcessingCycle>(*gateway_, *maintenance_, configurations());
  window_ = std::make_unique<MainWindow>(*cycle_, *thread_);
  if (!window_->create()) {
    exitStatus_ = kExitMainWindow;
    return false;
  }
  settingsPages_ = std::make_unique<SettingsPages>(*window_, app_.values().settingsPath);
  accountsPage_ = std::make_unique<AccountsPage>(*cycle_);
  return true;
}

bool GatewayProgram::openDatabases() {
  const AppValues& v = app_.values();
  maintenance_ = std::make_unique<MaintenanceDatabase>(v.tarnwickDirectory, &guiSession());
  if (!maintenance_->CheckMaintenance(false)) {
    exitStatus_ = kExitMaintenanceDatabase;
    return false;
  }
  int made = createGatewayDirectory(v.gatewayDirectory);
  if (made == 2) {
    exitStatus_ = kExitGatewayDirectory;
    return false;
  }
  gateway_ = std::make_unique<GatewayDatabase>(v.gatewayDirectory, &guiSession());
  if (made == 1) {
    bool created = GatewayDatabase::createDirectory(v.gatewayDirectory, &guiSession()) &&
                   gateway_->Validate(false) && gateway_->createTables();
    if (!created) {
      exitStatus_ = kExitGatewayDatabase;
      return false;
    }
  }
  if (!gateway_->CheckGateway()) {
    exitStatus_ = kExitGatewayDatabase;
    return false;
  }
  {
    AccountsTable accounts(*gateway_);
    if (!accounts.isOpen()) {
      guiSession().Error(translate("*Can't open the Accounts table"));
      exitStatus_ = kExitAccountsTable;
      return false;
    }
  }
  {
    LogsTable logs(*gateway_);
    if (!logs.isOpen()) {
      guiSession().Error(translate("*Can't open the Logs table"));
      exitStatus_ = kExitLogsTable;
      return false;
    }
  }
  runMetrics().setDatabaseOpen(Database::Maintenance, true);
  runMetrics().setDatabaseOpen(Database::Gateway, true);
  return true;
}

bool GatewayProgram::writeCommandLineSettings(const StartupIo& io) {
  const CommandLine& options = app_.values().options;
  auto refuse = [&](const stringT& reason) {
    writeJournal(JournalPriority::Error, reason);
    exitStatus_ = kExitSettings;
    return false;
  };
  if (options.run != RunKind::None) return refuse(translate("*/Set cannot be combined with /Run"));
  std::vector<stringT> problems;
  std::optional<FieldMap> values = resolveSettings(options.settings, io.in, problems);
  if (!values) {
    for (const stringT& problem : problems) writeJournal(JournalPriority::Error, problem);
    exitStatus_ = kExitSettings;
    return false;
  }
  // The gateway directory and its tables are made (or upgraded) as at any
  // start-up, so the first start after a scripted install finds them.
  if (!openDatabases()) return false;
  // A running gateway holds the gateway database shared and writes its own
  // copy of the settings when it stops, which would undo these.
  gateway_->Lock(true);
  if (!gateway_->exclusive()) {
    // Closed now, so that shutdown does not write the settings it never
    // read over those of the running gateway.
    gateway_.reset();
    return refuse(translate("*The gateway is running on this database; stop it before writing its settings"));
  }
  app_.readSettings();
  stringT numbers, clearedNumbers;
  for (const auto& [number, value] : *values) numbers += stringT::format(numbers.empty() ? "%d" : ", %d", number);
  for (int secret : applySettings(*values, configurations().settings()))
    clearedNumbers += stringT::format(clearedNumbers.empty() ? "%d" : ", %d", secret);
  if (app_.writeSettings() != 0) {
    exitStatus_ = kExitSettings;
    return false;
  }
  std::fprintf(io.out, "%s %s (%s)\n", translate("*Settings written:").c_str(), numbers.c_str(),
               app_.values().settingsPath.c_str());
  if (!clearedNumbers.empty())
    std::fprintf(io.out, "%s\n",
                 stringT::format(translateFormat("*Cleared, as they belong to the old connection; enter them again: %s")
                                     .c_str(),
                                 clearedNumbers.c_str())
                     .c_str());
  std::fflush(io.out);
  finished_ = true;
  exitStatus_ = kExitClean;
  return false;
}

void GatewayProgram::shutDown() {
  if (!app_.values().settingsPath.empty() && gateway_) (void)app_.writeSettings();
  window_.reset();
  settingsPages_.reset();
  accountsPage_.reset();
  cycle_.reset();
  gateway_.reset();
  maintenance_.reset();
  runMetrics().setDatabaseOpen(Database::Maintenance, false);
  runMetrics().setDatabaseOpen(Database::Gateway, false);
}

bool GatewayProgram::writeNewConsoleToken(const StartupIo& io) {
  // Only the token file: a running gateway reads it again within a
  // second and ends every session, so neither database is opened here.
  std::string path = app_.values().gatewayDirectory.str() + "/console.token";
  std::string error;
  if (!writeNewLoginToken(path, &error)) {
    std::fprintf(io.err, "orvserv: console: %s\n", error.c_str());
    exitStatus_ = kExitConsole;
    return false;
  }
  std::fprintf(io.out, "orvserv: %s\n",
               stringT::format(translateFormat("*A new console login token is in %s; every console session has ended.")
                                   .c_str(),
                               path.c_str())
                   .c_str());
  std::fflush(io.out);
  finished_ = true;
  exitStatus_ = kExitClean;
  return false;
}

int GatewayProgram::setConsolePassword(const StartupIo& io) {
  std::string error;
  std::optional<std::string> hash = askConsolePassword(io.in, io.err, &error);
  if (!hash) {
    std::fprintf(io.err, "orvserv: %s\n", error.c_str());
    return kExitInvalidOption;
  }
  // Written to orvserv.cfg by the shutdown that follows.
  thread_->call([&] { configurations().set(kConsolePasswordSetting, stringT(*hash)); });
  std::fprintf(io.out, "orvserv: %s\n", translate("*The console password is set.").str().c_str());
  return kExitClean;
}

bool GatewayProgram::consoleConfig(ConsoleConfig& config, const StartupIo& io) {
  std::string legacyToken, certificateFile, keyFile;
  thread_->call([&] {
    legacyToken = configurations().get(kConsoleAccessTokenSetting).str();
    config.passwordHash = configurations().get(kConsolePasswordSetting).str();
    certificateFile = configurations().get(kConsoleCertificateSetting).str();
    keyFile = configurations().get(kConsoleKeySetting).str();
    config.manualDirectory = stringMapper().manualDirectory().str();
  });
  if (!legacyToken.empty())
    std::fprintf(io.err, "orvserv: console: setting %d (access token) is no longer used; log in with the address "
                         "below or a console password (/ConsolePassword)\n", kConsoleAccessTokenSetting);
  if (certificateFile.empty() != keyFile.empty()) {
    std::fprintf(io.err, "orvserv: console: TLS needs both a certificate file (setting %d) and a key file (setting %d)\n",
                 kConsoleCertificateSetting, kConsoleKeySetting);
    return false;
  }
  for (auto [path, into] : {std::pair{&certificateFile, &config.certificatePem}, std::pair{&keyFile, &config.keyPem}}) {
    if (path->empty()) continue;
    if (readWholeFile(*path, 1 << 20, *into) != ReadFileResult::Ok || into->empty()) {
      std::fprintf(io.err, "orvserv: console: cannot read %s\n", path->c_str());
      return false;
    }
  }
  std::string error;
  std::optional<std::string> token =
      loadOrCreateLoginToken(app_.values().gatewayDirectory.str() + "/console.token", &error);
  if (!token) {
    std::fprintf(io.err, "orvserv: console: %s\n", error.c_str());
    return false;
  }
  config.loginToken = *token;
  config.loginTokenFile = app_.values().gatewayDirectory.str() + "/console.token";
  return true;
}

int GatewayProgram::runOnce() {
  RunKind kind = app_.values().options.run;
  std::promise<uint64_t> result;
  std::future<uint64_t> done = result.get_future();
  bool posted = thread_->post([&] {
    try {
      cycle_->resetReports();
      cycle_->runAction(actionOf(kind));
      result.set_value(cycle_->reportsMade());
    } catch (...) {
      result.set_exception(std::current_exception());
    }
  });
  if (!posted) {
    writeJournal(JournalPriority::Error, translate("*The run could not be started"));
    return kExitRunFailed;
  }
  // SIGINT or SIGTERM ends the run after the item in hand, as it does the
  // runs of a resident program.
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    if (waitForShutdownSignal(0)) cycle_->requestStop();
  uint64_t failures = done.get();
  if (failures == 0) return kExitClean;
  // Each failure is on stderr already; this line says what they mean for
  // the exit status.
  writeJournal(JournalPriority::Error,
               stringT::format(translateFormat("*The run reported %ld failure(s); exit status %d").c_str(),
                               static_cast<long>(failures), static_cast<int>(kExitRunFailed)));
  return kExitRunFailed;
}

int GatewayProgram::serveConsole(const StartupIo& io) {
  const CommandLine& options = app_.values().options;
  std::unique_ptr<ConsoleApi> api;
  std::unique_ptr<ConsoleServer> server;
  if (!options.consoleOff) {
    ConsoleContext context;
    context.thread = thread_.get();
    context.cycle = cycle_.get();
    context.window = window_.get();
    context.settings = settingsPages_.get();
    context.accounts = accountsPage_.get();
    context.notices = notices_.get();
    context.about = aboutDialog(app_.values());
    context.requestExit = [this] { requestExit(); };
    ConsoleConfig config;
    config.address = options.consoleAddress.str();
    config.port = options.consolePort;
    if (!consoleConfig(config, io)) return kExitConsole;
    api = std::make_unique<ConsoleApi>(std::move(context));
    server = std::make_unique<ConsoleServer>(config, *api);
    std::string error;
    if (!server->start(&error)) {
      std::fprintf(io.err, "orvserv: console: %s\n", error.c_str());
      return kExitConsole;
    }
    // As notebook servers do: the address with the login token, for the
    // operator who started the program on a terminal to open. Under
    // systemd, or with output to a file or pipe, the output is kept where
    // others may read it (the journal is readable by group adm): it says
    // where the token is, never the token.
    if (environmentVariable("INVOCATION_ID").empty() && isTerminal(io.out))
      std::fprintf(io.out, "orvserv: console at %s\n", server->loginUrl().c_str());
    else
      std::fprintf(io.out, "orvserv: console at %s (log in at %s?token= followed by the token in %s)\n",
                   server->url().c_str(), server->url().c_str(), config.loginTokenFile.c_str());
    std::fflush(io.out);
  }
  while (!exitRequested_ && !waitForShutdownSignal(200)) {
  }
  // Runs still queued by the console are dropped and the one in hand ends
  // after its current item, so the program stops in seconds however many
  // runs the operator asked for.
  cycle_->requestStop();
  if (server) server->stop();
  return kExitClean;
}
