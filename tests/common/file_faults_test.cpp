// common's own files under the fault-injecting file system: the settings
// file, the diagnostic file and the message files reach the disk through
// the platform (common/file_access.h), so their error paths can be driven.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/configurations.h"
#include "common/diagnostics.h"
#include "common/file_access.h"
#include "common/string_mapper.h"
#include "platform/fault_file.h"
#include "support/installed_faults.h"
#include "test_support.h"

namespace {

size_t entriesIn(const std::string& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(SettingsFileFaults, AFailedWriteKeepsTheOldSettingsByteForByte) {
  struct Case {
    const char* name;
    std::function<void(FaultFileSystem&)> arm;
  } cases[] = {
      {"failWrite", [](FaultFileSystem& f) { f.failWrite = 1; }},
      {"shortWrite", [](FaultFileSystem& f) { f.shortWrite = 1; }},
      {"diskFullAfter", [](FaultFileSystem& f) { f.diskFullAfter = 10; }},
      {"failFlush", [](FaultFileSystem& f) { f.failFlush = 1; }},
      {"failRename", [](FaultFileSystem& f) { f.failRename = 1; }},
      {"failCreate", [](FaultFileSystem& f) { f.failCreate = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string path = dir.file("orvserv.cfg");
    ConfigurationsManager first;
    first.set(101, "pop.example.org");
    first.set(152, "Old title");
    ASSERT_EQ(first.writeSettings(path), 0);
    const std::string before = dir.read("orvserv.cfg");

    ConfigurationsManager changed;
    ASSERT_EQ(changed.readSettings(path), 0);
    changed.set(152, "New title, much longer than the old one so that it takes several writes' worth");
    changed.set(103, "gateway");
    int status;
    {
      InstalledFaults faults;
      c.arm(faults);
      status = changed.writeSettings(path);
    }
    EXPECT_EQ(status, 1);
    EXPECT_NE(changed.message().str().find("can't open options file '" + path + "' for write"), std::string::npos)
        << changed.message().str();
    EXPECT_EQ(dir.read("orvserv.cfg"), before);
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "a temporary file was left behind";
    ConfigurationsManager reread;
    ASSERT_EQ(reread.readSettings(path), 0);
    EXPECT_EQ(reread.get(152).str(), "Old title");
  }
}

TEST(SettingsFileFaults, AnUnreadableSettingsFileGivesTheDefaults) {
  ScratchDir dir;
  const std::string path = dir.file("orvserv.cfg");
  ConfigurationsManager first;
  first.set(152, "Operator's title");
  ASSERT_EQ(first.writeSettings(path), 0);
  InstalledFaults faults;
  faults.failRead = 1;
  ConfigurationsManager c;
  EXPECT_EQ(c.readSettings(path), 1);
  EXPECT_EQ(c.get(152).str(), "Tarnwick @Orvane");
}

TEST(DiagnosticFileFaults, AFullDiskLosesTheLinesButNotTheListOrTheCaller) {
  ScratchDir dir;
  const std::string path = dir.file("diagnostic.txt");
  DiagnosticList list;
  list.setTimeSource([] { return std::time_t(0); });
  list.openDiagnosticFile(path, true);
  list.addDiagnostic("before the disk filled");
  const std::string kept = dir.read("diagnostic.txt");
  ASSERT_NE(kept.find("before the disk filled"), std::string::npos);
  {
    InstalledFaults faults;
    faults.onlyPath = path;
    faults.diskFullAfter = 5;
    int carriedOn = 0;
    for (int i = 0; i < 3; ++i) {
      list.addDiagnostic("run " + stringT::format("%d", i) + " failed", DiagnosticLevel::Error);
      ++carriedOn;  // addDiagnostic came back: the caller goes on
    }
    EXPECT_EQ(carriedOn, 3);
    faults.diskFullAfter = -1;
    faults.failOpen = 1;
    list.addDiagnostic("not even opened");
    EXPECT_EQ(faults.bytesWritten, 5);
  }
  // The file holds what fitted; the list and the journal have every text.
  EXPECT_EQ(dir.read("diagnostic.txt"), kept + kept.substr(0, 5));
  auto rows = list.snapshot();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].description.view(), "not even opened");
  EXPECT_EQ(rows[1].description.view(), "run 2 failed");
  // Once there is room again, lines are added after what is there.
  list.addDiagnostic("room again");
  EXPECT_NE(dir.read("diagnostic.txt").find("room again\n"), std::string::npos);
}

TEST(DiagnosticFileFaults, EmptyingTheFileThroughTheFileSystem) {
  ScratchDir dir;
  const std::string path = dir.file("diagnostic.txt");
  dir.write("diagnostic.txt", "old lines\n");
  InstalledFaults faults;
  faults.failSetLength = 1;
  DiagnosticList list;
  list.openDiagnosticFile(path, true);  // cannot be emptied: left as it was, no throw
  EXPECT_EQ(dir.read("diagnostic.txt"), "old lines\n");
  list.openDiagnosticFile(path, true);
  EXPECT_EQ(dir.read("diagnostic.txt"), "");
  struct stat st {};
  ::unlink(path.c_str());
  mode_t before = ::umask(022);
  list.openDiagnosticFile(path, true);
  ::umask(before);
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(MessageFileFaults, AFailedReadIsAFileThatCannotBeOpenedNotAHalfTable) {
  ScratchDir dir;
  std::string text;
  for (int i = 0; i < 2000; ++i) text += stringT::format("ORVSERV,*Text %d,Texte %d\n", i, i).str();
  ASSERT_GT(text.size(), 3 * 16384u);  // read in several pieces
  dir.write("msg000c.txt", text);
  const std::string path = dir.file("msg000c.txt");
  for (int failAt : {1, 2, 3}) {
    SCOPED_TRACE(failAt);
    StringMapper m;
    m.setEntry("*Before", "avant");
    InstalledFaults faults;
    faults.failRead = failAt;
    EXPECT_EQ(m.loadMessages(path), 1);
    EXPECT_EQ(m.message().str(), "can't open file '" + path + "' to read");
    EXPECT_EQ(m.entryCount(), 0u);
    EXPECT_EQ(m.translate("*Text 0").view(), "Text 0");
  }
  StringMapper m;
  InstalledFaults faults;
  faults.failOpen = 1;
  EXPECT_EQ(m.loadMessages(path), 1);
  EXPECT_EQ(m.loadMessages(path), 0);  // the fault fired once
  EXPECT_EQ(m.entryCount(), 2000u);
}

TEST(MessageFileFaults, AnUnreadableLanguageFileFallsBackAsAMissingOneDoes) {
  ScratchDir dir;
  ScriptedInteraction ui;
  dir.write("msg040c.txt", "ORVSERV,*Yes,Oui\n");
  dir.write("msg0000.txt", "ORVSERV,*Yes,Yes!\n");
  StringMapper m;
  m.setProgramDirectory(dir.path());
  {
    InstalledFaults faults;
    faults.onlyPath = dir.file("msg040c.txt");
    faults.failRead = 1;
    EXPECT_EQ(m.loadLanguage(0x040C), 0);  // the neutral file, as when msg040c.txt is missing
  }
  EXPECT_EQ(m.translate("*Yes").view(), "Yes!");
  EXPECT_TRUE(ui.boxes.empty());
  {
    // Neither can be read: the warning of a missing file, and an empty map.
    InstalledFaults faults;
    faults.error = EACCES;
    faults.failOpen = 1;
    faults.onlyPath = dir.file("msg0000.txt");
    EXPECT_EQ(m.loadLanguage(0x0409), kNoLanguageLoaded);
  }
  EXPECT_EQ(m.entryCount(), 0u);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "String Mapper : 0x0001\r\ncan't open file '" + dir.path() + "/msg0000.txt' to read");
}

TEST(FileAccess, WithoutThePlatformNoFileCanBeOpened) {
  FileAccess& platform = fileAccess();
  setFileAccess(nullptr);
  ScratchDir dir;
  dir.write("msg0000.txt", "ORVSERV,*Yes,Yes\n");
  std::string out, reason;
  EXPECT_EQ(fileAccess().readWholeFile(dir.file("msg0000.txt"), 100, out), ReadFileResult::CannotOpen);
  EXPECT_FALSE(fileAccess().replaceFile(dir.file("x"), "x", 0600, reason));
  EXPECT_EQ(reason, "no file system");
  EXPECT_NE(fileAccess().appendToFile(dir.file("x"), "x", false, 0600), 0);
  EXPECT_FALSE(fileAccess().isDirectory(dir.path()));
  StringMapper m;
  EXPECT_EQ(m.loadMessages(dir.file("msg0000.txt")), 1);
  setFileAccess(&platform);
  EXPECT_EQ(m.loadMessages(dir.file("msg0000.txt")), 0);
  EXPECT_TRUE(fileAccess().isDirectory(dir.path()));
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

}  // namespace
