// GatewayProgram: the whole life of orvserv, from the command line to the
// exit status.
//
//   main thread                      gateway thread
//   -----------                      --------------
//   block SIGINT, SIGTERM
//   start gateway thread  ------->   start-up steps 2 to 12 (startUp)
//                                    (--help, --version: their text; exit)
//                                    (/Set...: databases opened, settings
//                                    written, then shutdown; exit)
//   /Run: ------------------------>  the run, then shutdown; exit
//   start the console (HTTP threads, which post to the gateway thread)
//   wait: SIGINT, SIGTERM or Session > Exit
//   stop the console
//                         ------->   shutdown: settings written, gateway
//                                    database closed, then the
//                                    maintenance database
//   stop the gateway thread; exit status
//
// Start-up steps done here, after Application::startUp (steps 2 to 8):
//   9.  maintenance database opened and checked; gateway directory
//       created (new tables) or checked (upgraded when older); trial
//       opens of accounts.dbf and logs.dbf
//   10. settings (defaults 152-154 when missing, 204 the version)
//   11. diagnostic file, emptied when setting 156 > 0
//   12. main window: managers loaded, welcome text, counts, timer 1
// and then the console on /Listen (none with /Listen:off or /Run), or,
// with /ConsolePassword, the password asked for and stored (setting 350);
// /NewConsoleToken writes a new login token and exits before step 9.
//
// Exit statuses: 0 clean; 1 a /Run run reported failures; 2 invalid
// option; 3 maintenance database; 4 gateway directory; 5 gateway
// database; 6 accounts.dbf; 7 logs.dbf; 8 main window; 9 console;
// 10 settings not written (/Set refused or the file could not be written).
//
// Every failure is also on stderr (common/journal.h) before the exit.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "app/startup.h"
#include "common/string.h"

class GatewayThread;
class MaintenanceDatabase;
class GatewayDatabase;
class ProcessingCycle;
class MainWindow;
class SettingsPages;
class AccountsPage;
class ConsoleNotices;
class ConsoleInteraction;
class UserInteraction;
struct ConsoleConfig;

enum ExitStatus {
  kExitClean = 0,
  kExitRunFailed = 1,
  kExitInvalidOption = 2,
  kExitMaintenanceDatabase = 3,
  kExitGatewayDirectory = 4,
  kExitGatewayDatabase = 5,
  kExitAccountsTable = 6,
  kExitLogsTable = 7,
  kExitMainWindow = 8,
  kExitConsole = 9,
  kExitSettings = 10,
};

// 0 the directory exists, 1 it was created (or exists and is empty), 2 it
// could not be created
// (after "*Can't create directory", a line feed and the path as an error).
[[nodiscard]] int createGatewayDirectory(const stringT& path);

class GatewayProgram {
 public:
  GatewayProgram();
  ~GatewayProgram();

  // Runs the program; returns its exit status.
  int run(const std::vector<stringT>& args, const StartupIo& io);

  // Session > Exit (any thread).
  void requestExit() { exitRequested_ = true; }

 private:
  // On the gateway thread. False with exitStatus_ set.
  bool startUp(const std::vector<stringT>& args, const StartupIo& io);
  bool openDatabases();
  // /Set, /SetFromFile, /SetFromStdin: writes the settings; false with
  // exitStatus_ set (kExitClean when they were written).
  bool writeCommandLineSettings(const StartupIo& io);
  void shutDown();
  int runOnce();
  int serveConsole(const StartupIo& io);
  // /NewConsoleToken: writes a new login token; false with exitStatus_
  // set (kExitClean when it was written).
  bool writeNewConsoleToken(const StartupIo& io);
  // /ConsolePassword: asks for the password and stores its hash.
  int setConsolePassword(const StartupIo& io);
  // The console's secrets and files; false after a message on io.err.
  bool consoleConfig(ConsoleConfig& config, const StartupIo& io);

  Application app_;
  std::unique_ptr<GatewayThread> thread_;
  std::unique_ptr<ConsoleNotices> notices_;
  std::unique_ptr<ConsoleInteraction> interaction_;
  UserInteraction* outerInteraction_ = nullptr;  // what interaction_ passes on to; restored at the end
  std::unique_ptr<MaintenanceDatabase> maintenance_;
  std::unique_ptr<GatewayDatabase> gateway_;
  std::unique_ptr<ProcessingCycle> cycle_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<SettingsPages> settingsPages_;
  std::unique_ptr<AccountsPage> accountsPage_;
  std::atomic<bool> exitRequested_{false};
  int exitStatus_ = kExitClean;
  bool finished_ = false;  // start-up did all there was to do (help, /Set)
};
