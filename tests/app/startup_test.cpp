#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/about.h"
#include "common/configurations.h"
#include "common/diagnostics.h"
#include "common/string_mapper.h"
#include "common/user_interaction.h"

namespace {

// Captures what start-up writes to its two streams.
class CapturedIo {
 public:
  CapturedIo() {
    io.out = open_memstream(&outBuf_, &outLen_);
    io.err = open_memstream(&errBuf_, &errLen_);
  }
  ~CapturedIo() {
    close();
    std::free(outBuf_);
    std::free(errBuf_);
  }
  std::string out() { return flush(io.out, outBuf_, outLen_); }
  std::string err() { return flush(io.err, errBuf_, errLen_); }
  StartupIo io;

 private:
  static std::string flush(std::FILE* f, char* buf, size_t len) {
    std::fflush(f);
    return std::string(buf, len);
  }
  void close() {
    if (io.out) std::fclose(io.out);
    if (io.err) std::fclose(io.err);
  }
  char* outBuf_ = nullptr;
  size_t outLen_ = 0;
  char* errBuf_ = nullptr;
  size_t errLen_ = 0;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (std::filesystem::temp_directory_path() / "orvapp.XXXXXX").string();
    dir_ = mkdtemp(templ.data());
    std::filesystem::copy(std::string(ORV_TEST_DATA) + "/../../messages/msg0000.txt", dir_ + "/msg0000.txt");
    std::filesystem::copy(std::string(ORV_TEST_DATA) + "/../../messages/msg000c.txt", dir_ + "/msg000c.txt");
    setUserInteraction(&silent_);
  }
  void TearDown() override {
    setUserInteraction(nullptr);
    setAssumeYes(false);
    stringMapper().clear();
    std::filesystem::remove_all(dir_);
  }
  bool start(Application& app, std::vector<stringT> args, CapturedIo& io) {
    app.setProgramDirectory(dir_);
    app.setCurrentDirectory("/work/here");
    args.insert(args.begin(), "orvserv");
    return app.startUp(args, io.io);
  }

  struct Silent : UserInteraction {
    void messageBox(MessageIcon, const stringT&, const stringT&) override { ++shown; }
    int shown = 0;
  } silent_;
  std::string dir_;
};

TEST_F(StartupTest, NoOptionsUseTheCurrentDirectoryAndTheUserLanguage) {
  Application app;
  app.setUserLanguage(0x0409);
  CapturedIo io;
  ASSERT_TRUE(start(app, {}, io));
  const AppValues& v = app.values();
  EXPECT_EQ(v.requestedLanguage, 0x0409);
  EXPECT_EQ(v.loadedLanguage, 0x0000);
  EXPECT_EQ(v.title.view(), "Tarnwick @Orvane");
  EXPECT_EQ(v.tarnwickDirectory.view(), "/work/here");
  EXPECT_EQ(v.gatewayDirectory.view(), "/work/here/@Orvane");
  EXPECT_EQ(v.settingsPath.view(), "/work/here/@Orvane/orvserv.cfg");
  EXPECT_EQ(v.diagnosticPath.view(), "/work/here/@Orvane/diagnostic.txt");
  EXPECT_EQ(io.out(), "");
  EXPECT_EQ(io.err(), "");
}

TEST_F(StartupTest, LangIdReloadsMessagesAndBackslashesBecomeSlashes) {
  Application app;
  app.setUserLanguage(0x0409);
  CapturedIo io;
  ASSERT_TRUE(start(app, {"/TD:\\srv\\tarnwick", "/LANGID:c0c", "/AssumeYes+"}, io));
  const AppValues& v = app.values();
  EXPECT_EQ(v.requestedLanguage, 0x0C0C);
  EXPECT_EQ(v.loadedLanguage, 0x000C);
  EXPECT_EQ(v.gatewayDirectory.view(), "/srv/tarnwick/@Orvane");
  EXPECT_TRUE(assumeYes());
  Dialog about = aboutDialog(v);
  EXPECT_EQ(about.caption.view(), "À propos de Tarnwick @Orvane");
  EXPECT_EQ(about.controls[kAboutMessages - 1].text.view(), "Messages Version 1 (0C0C/000C)");
  EXPECT_EQ(about.controls[kAboutDatabase - 1].text.view(), "Base de données Tarnwick: /srv/tarnwick");
}

TEST_F(StartupTest, InvalidOptionPrintsUsageAndTheTranslatedLine) {
  Application app;
  app.setUserLanguage(0x040C);
  CapturedIo io;
  EXPECT_FALSE(start(app, {"/LANGID:409", "/LANGID:40c"}, io));
  EXPECT_EQ(app.exitStatus(), Application::kInvalidOptionStatus);
  EXPECT_EQ(io.err(), "<3>Option invalide : /LANGID:40c\n");
  EXPECT_EQ(io.out().substr(0, 64), "Utilisation: orvserv [options]\noptions:\n /TarnwickDatabase:  -- ");
}

TEST_F(StartupTest, WithoutAnyMessageFileTextsAreShownWithoutTheirMarkers) {
  std::filesystem::remove(dir_ + "/msg0000.txt");
  Application app;
  app.setUserLanguage(0x0409);
  CapturedIo io;
  EXPECT_FALSE(start(app, {"bare"}, io));
  EXPECT_EQ(app.values().loadedLanguage, kNoLanguageLoaded);
  EXPECT_EQ(silent_.shown, 1);  // the warning naming msg0000.txt
  EXPECT_EQ(io.err(), "<3>Invalid Option: bare\n");
  EXPECT_EQ(io.out().substr(0, 34), "Usage: orvserv [options]\noptions:\n");
}

TEST_F(StartupTest, OnATerminalTheUsageWaitsForEnter) {
  Application app;
  app.setUserLanguage(0x0409);
  CapturedIo io;
  std::string input = "\n";
  io.io.in = fmemopen(input.data(), input.size(), "r");
  io.io.interactive = true;
  EXPECT_FALSE(start(app, {"/x"}, io));
  std::string out = io.out();
  EXPECT_EQ(out.substr(out.size() - 26), "Press 'Enter' to continue.");
  EXPECT_EQ(std::fgetc(io.io.in), EOF);  // the line was read
  std::fclose(io.io.in);
}

TEST_F(StartupTest, HelpIsShownInTheAskedLanguageAndNeverWaits) {
  Application app;
  app.setUserLanguage(0x0409);
  CapturedIo io;
  std::string input = "\n";
  io.io.in = fmemopen(input.data(), input.size(), "r");
  io.io.interactive = true;
  EXPECT_FALSE(start(app, {"/LANGID:40c", "/NoSuchOption", "--help"}, io));
  EXPECT_TRUE(app.informationShown());
  EXPECT_EQ(app.exitStatus(), 0);
  EXPECT_EQ(io.out().substr(0, 31), "Utilisation: orvserv [options]\n");
  EXPECT_EQ(io.err(), "");
  EXPECT_EQ(std::fgetc(io.io.in), '\n');  // nothing was read
  std::fclose(io.io.in);
}

TEST_F(StartupTest, SettingsAndDiagnosticFileSteps) {
  Application app;
  app.setUserLanguage(0x0409);
  CapturedIo io;
  std::filesystem::create_directories(dir_ + "/db/@Orvane");
  ASSERT_TRUE(start(app, {stringT("/TD:" + dir_ + "/db")}, io));
  configurations().settings().clear();
  app.readSettings();  // first run: no file yet
  EXPECT_EQ(configurations().get(kTitle).view(), "Tarnwick @Orvane");
  EXPECT_EQ(configurations().get(kProgramVersion).view(), "3.0.0.0");
  configurations().set(kClearDiagnostics, "1");
  ASSERT_EQ(app.writeSettings(), 0);

  std::ofstream(dir_ + "/db/@Orvane/diagnostic.txt") << "old line\n";
  configurations().settings().clear();
  app.readSettings();
  app.openDiagnosticFile();
  EXPECT_EQ(std::filesystem::file_size(dir_ + "/db/@Orvane/diagnostic.txt"), 0u);
  EXPECT_EQ(diagnostics().filePath().view(), dir_ + "/db/@Orvane/diagnostic.txt");

  std::filesystem::remove_all(dir_ + "/db");
  EXPECT_EQ(app.writeSettings(), 1);
  EXPECT_EQ(silent_.shown, 1);  // the warning box
  diagnostics().openDiagnosticFile("", false);
  configurations().settings().clear();
}

}  // namespace
