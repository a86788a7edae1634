#include "app/startup.h"

#include "common/configurations.h"
#include "common/diagnostics.h"
#include "common/journal.h"
#include "common/language_id.h"
#include "common/string_mapper.h"
#include "common/user_interaction.h"
#include "common/version.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/process_environment.h"

namespace {

stringT parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? stringT("/") : stringT(path.substr(0, slash));
}

}  // namespace

stringT executableDirectory(const stringT& argv0) {
  std::string self = executablePath();
  if (!self.empty()) return parentOf(self);
  if (!argv0.empty() && argv0.find('/') != stringT::npos) return parentOf(absolutePath(argv0.str()));
  return ".";
}

void reportInvalidOption(const stringT& token, const std::vector<OptionDefinition>& definitions,
                         const StartupIo& io, const stringT& programName) {
  stringT line = stringT::format(translateFormat("*Invalid Option: %s").c_str(), token.c_str());
  // An error for the journal too: a service whose options are wrong shows
  // why among its errors.
  std::fprintf(io.err, "%s\n", journalLine(JournalPriority::Error, line).c_str());
  std::fflush(io.err);
  stringT usage = usageText(definitions, programName);
  bool shown = std::fwrite(usage.view().data(), 1, usage.size(), io.out) == usage.size() && std::fflush(io.out) == 0;
  if (!shown) {
    std::fprintf(io.err, "%s\n",
                 journalLine(JournalPriority::Error, translate("*Can't display Usage information")).c_str());
    return;
  }
  if (io.interactive) {
    std::fputs(translate("*Press 'Enter' to continue.").c_str(), io.out);
    std::fflush(io.out);
    for (int c = std::fgetc(io.in); c != EOF && c != '\n'; c = std::fgetc(io.in)) {
    }
  }
}

bool Application::startUp(const std::vector<stringT>& args, const StartupIo& io) {
  exitStatus_ = 0;
  informationShown_ = false;
  determineProgramDirectory(args.empty() ? stringT() : args[0]);
  loadUserLanguage();
  values_.title = translate("*Tarnwick @Orvane");
  if (InformationRequest request = informationRequest(args); request != InformationRequest::None) {
    showInformation(request, args, io);
    return false;
  }
  if (!readOptions(args, io)) return false;
  if (values_.options.languageId) loadLanguage(*values_.options.languageId);
  setAssumeYes(values_.options.assumeYes);
  diagnostics().setTimeSource([] { return platformClock().now(); });
  determineDirectories();
  return true;
}

void Application::loadLanguage(uint16_t id) {
  values_.requestedLanguage = id;
  stringMapper().setRequestedLanguage(values_.requestedLanguage);
  values_.loadedLanguage = stringMapper().loadLanguage(values_.requestedLanguage);
  values_.title = translate("*Tarnwick @Orvane");
}

void Application::showInformation(InformationRequest request, const std::vector<stringT>& args,
                                  const StartupIo& io) {
  informationShown_ = true;
  exitStatus_ = 0;
  // The help is shown in the language a LANGID among the other tokens asks
  // for; whatever else is wrong with them does not matter here.
  std::vector<stringT> tokens{stringT()};
  for (size_t i = 1; i < args.size(); ++i)
    if (informationRequest({stringT(), args[i]}) == InformationRequest::None) tokens.push_back(args[i]);
  ParseResult parsed = parseOptions(tokens, orvservOptions(), kOrvservSlots);
  if (auto text = parsed.value(kSlotLangId))
    if (auto id = parseLanguageId(text->view())) loadLanguage(*id);
  stringT name = programName(args.empty() ? stringT() : args[0]);
  stringT text = request == InformationRequest::Help
                     ? helpText(orvservOptions(), name)
                     : stringT::format("%s %s\n", name.c_str(), programVersion().toString().c_str());
  std::fwrite(text.view().data(), 1, text.size(), io.out);
  std::fflush(io.out);
}

stringT programName(const stringT& argv0) {
  std::string path = argv0.str();
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() ? stringT("orvserv") : stringT(name);
}

void Application::determineProgramDirectory(const stringT& argv0) {
  values_.programDirectory =
      programDirectoryOverride_.empty() ? executableDirectory(argv0) : programDirectoryOverride_;
  stringMapper().setProgramDirectory(values_.programDirectory);
}

void Application::loadUserLanguage() {
  values_.requestedLanguage = userLanguageOverride_ ? *userLanguageOverride_
                                                       : languageIdFromEnvironment(environmentVariable("LC_ALL").c_str(),
                                                                                   environmentVariable("LC_MESSAGES").c_str(),
                                                                                   environmentVariable("LANG").c_str());
  stringMapper().setRequestedLanguage(values_.requestedLanguage);
  values_.loadedLanguage = stringMapper().loadLanguage(values_.requestedLanguage);
}

bool Application::readOptions(const std::vector<stringT>& args, const StartupIo& io) {
  std::vector<OptionDefinition> definitions = orvservOptions();
  std::vector<stringT> tokens{stringT()};
  if (args.size() > 1) tokens.insert(tokens.end(), args.begin() + 1, args.end());
  CommandLineOutcome outcome = readCommandLine(parseOptions(tokens, definitions, kOrvservSlots));
  if (!outcome.ok) {
    reportInvalidOption(outcome.invalidToken, definitions, io, programName(args.empty() ? stringT() : args[0]));
    exitStatus_ = kInvalidOptionStatus;
    return false;
  }
  values_.options = outcome.values;
  return true;
}

void Application::determineDirectories() {
  stringT directory;
  if (values_.options.database) {
    directory = *values_.options.database;
  } else if (!currentDirectoryOverride_.empty()) {
    directory = currentDirectoryOverride_;
  } else {
    directory = currentDirectory();
    if (directory.empty()) directory = ".";
  }
  values_.tarnwickDirectory = directory;
  values_.gatewayDirectory = directory == "/" ? stringT("/@Orvane") : directory + "/@Orvane";
  values_.settingsPath = values_.gatewayDirectory + "/orvserv.cfg";
  values_.diagnosticPath = values_.gatewayDirectory + "/diagnostic.txt";
}

void Application::readSettings() {
  (void)configurations().readSettings(values_.settingsPath);
  settingsRead_ = true;
  configurations().set(kProgramVersion, programVersion().toString());
}

void Application::openDiagnosticFile() {
  diagnostics().openDiagnosticFile(values_.diagnosticPath, configurations().getNumber(kClearDiagnostics) > 0);
}

int Application::writeSettings() {
  // Settings never read (start-up stopped before) are the defaults alone:
  // writing them would wipe the operator's file.
  if (values_.settingsPath.empty() || !settingsRead_) return 0;
  int status = configurations().writeSettings(values_.settingsPath);
  if (status != 0) configurations().showWarning();
  return status;
}
