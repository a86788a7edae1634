// The application object: brings the program up in a fixed order and
// holds the application-wide values that later steps and other layers read.
//
// Start-up steps done here (the later ones join in their place):
//   2. program directory (the directory of the executable)
//   3. escape letters r n t (fixed in common/message_file.cpp)
//   4. the user's language from the locale, and its message file
//   5. application title, the translated "*Tarnwick @Orvane"
//   6. command line; an invalid option prints the usage and ends start-up,
//      and so do --help and --version (after their text, status 0)
//   7. LANGID: load the message file of that language
//   8. database directory, gateway directory, settings and diagnostic paths
// and, as building blocks for their place after the databases are open:
//  10. readSettings(): orvserv.cfg (defaults when missing), setting 204
//  11. openDiagnosticFile(): diagnostic.txt, emptied when setting 156 > 0
// Shutdown step 1 is writeSettings().
//
// Not thread-safe: start-up runs on the gateway thread before any other.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/command_line.h"
#include "common/string.h"

// Where start-up talks: the terminal streams in the program, memory
// streams in tests.
struct StartupIo {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  std::FILE* in = stdin;
  bool interactive = false;  // stdin is a terminal: wait for Enter after the usage
};

struct AppValues {
  stringT programDirectory;
  uint16_t requestedLanguage = 0;
  uint16_t loadedLanguage = 0;
  stringT title;
  CommandLine options;
  stringT tarnwickDirectory;  // "/" separators, no trailing "/"
  stringT gatewayDirectory;   // tarnwickDirectory + "/@Orvane"
  stringT settingsPath;       // gatewayDirectory + "/orvserv.cfg"
  stringT diagnosticPath;     // gatewayDirectory + "/diagnostic.txt"
};

class Application {
 public:
  // Exit status when start-up refuses the command line.
  static constexpr int kInvalidOptionStatus = 2;

  // Runs the start-up steps. args[0] is the program path (argv[0]), the
  // rest the command-line tokens. Returns false when the program must end;
  // exitStatus() then tells with what.
  bool startUp(const std::vector<stringT>& args, const StartupIo& io);

  // Start-up step 10: reads the settings file (the defaults of 152 to 154
  // when it cannot be read) and sets 204 to the program's version.
  void readSettings();
  // Start-up step 11: the diagnostic file, emptied when setting 156 > 0.
  void openDiagnosticFile();
  // Shutdown step 1: writes the settings when their path is known and
  // they were read; a failure is shown as the settings manager's warning.
  // Returns its status.
  int writeSettings();

  int exitStatus() const { return exitStatus_; }
  // Start-up ended after showing the help or the version (exit status 0).
  bool informationShown() const { return informationShown_; }
  const AppValues& values() const { return values_; }

  // Overrides the program directory (tests); otherwise it comes from the
  // executable.
  void setProgramDirectory(stringT directory) { programDirectoryOverride_ = std::move(directory); }
  // Overrides the user's language (tests); otherwise it comes from the
  // locale environment.
  void setUserLanguage(uint16_t id) { userLanguageOverride_ = id; }
  // Overrides the current directory (tests).
  void setCurrentDirectory(stringT directory) { currentDirectoryOverride_ = std::move(directory); }

 private:
  void determineProgramDirectory(const stringT& argv0);
  void loadLanguage(uint16_t id);
  // Prints the help or the version on io.out; exit status 0.
  void showInformation(InformationRequest request, const std::vector<stringT>& args, const StartupIo& io);
  void loadUserLanguage();
  bool readOptions(const std::vector<stringT>& args, const StartupIo& io);
  void determineDirectories();

  AppValues values_;
  int exitStatus_ = 0;
  bool settingsRead_ = false;  // readSettings() ran: writeSettings() may write
  bool informationShown_ = false;
  stringT programDirectoryOverride_;
  std::optional<uint16_t> userLanguageOverride_;
  stringT currentDirectoryOverride_;
};

// Shows an invalid option: the translated "*Invalid Option: %s" line on
// err (as an error journal line, "<3>..."), the usage summary on out, then, on a terminal, the translated
// "*Press 'Enter' to continue." and a wait for one line of input. When the
// usage cannot be written, err gets the translated "*Can't display Usage
// information" instead.
// programName, when given, heads the usage ("Usage: orvserv [options]").
void reportInvalidOption(const stringT& token, const std::vector<OptionDefinition>& definitions,
                         const StartupIo& io, const stringT& programName = stringT());

// The last component of argv0 ("orvserv" when empty).
stringT programName(const stringT& argv0);

// The directory of the running executable, else of argv0, else ".".
stringT executableDirectory(const stringT& argv0);
