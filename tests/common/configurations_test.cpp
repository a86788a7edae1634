#include "common/configurations.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/string_mapper.h"
#include "test_support.h"

namespace {

TEST(Configurations, WritesCrLfLinesInAscendingOrderWithMode0600) {
  ScratchDir dir;
  ConfigurationsManager c;
  c.set(152, "Tarnwick @Orvane");
  c.set(101, "pop.example.org");
  c.set(155, "");
  ASSERT_EQ(c.writeSettings(dir.file("orvserv.cfg")), 0);
  EXPECT_EQ(dir.read("orvserv.cfg"),
            "[101] pop.example.org\r\n[152] Tarnwick @Orvane\r\n[155] \r\n[205] 1.2.0.0\r\n[206] 2.9.0.0\r\n");
  struct stat st {};
  ASSERT_EQ(stat(dir.file("orvserv.cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(Configurations, WrittenValuesReadBackUnchanged) {
  ScratchDir dir;
  ConfigurationsManager out;
  const char* values[] = {"", " lead", "trail ", "[152] looks like a tag", "\xe9t\xe9"};
  out.set(152, "the title");
  int n = 101;
  for (const char* v : values) out.set(n++, v);
  ASSERT_EQ(out.write(dir.file("c.cfg")), 0);
  ConfigurationsManager in;
  ASSERT_EQ(in.read(dir.file("c.cfg"), 0, 208), 0);
  EXPECT_EQ(in.settings(), out.settings());
}

TEST(Configurations, AValueWithAControlCharacterIsNeverWritten) {
  // A line end inside a value would have become a setting of its own on
  // the next read ("[207] chosen" after the title); any control byte is
  // refused and the file on disk stays as it was.
  for (const char* bad : {"title\r\n[207] chosen", "lf\nonly", "cr\ronly", "tab\there", "nul\x01", "del\x7f"}) {
    ScratchDir dir;
    ConfigurationsManager c;
    c.set(152, "the title");
    ASSERT_EQ(c.write(dir.file("c.cfg")), 0);
    c.set(153, bad);
    EXPECT_EQ(c.write(dir.file("c.cfg")), 1) << bad;
    EXPECT_NE(c.describe().str().find("153"), std::string::npos) << c.describe().str();
    EXPECT_EQ(dir.read("c.cfg"), "[152] the title\r\n") << bad;
  }
}

TEST(Configurations, ReadAcceptsLfAndKeepsUntaggedEntries) {
  ScratchDir dir;
  dir.write("c.cfg", "[101] host\n[103] user [152] not a tag\r\n[151] 9");
  ConfigurationsManager c;
  c.set(151, "30");
  ASSERT_EQ(c.readSettings(dir.file("c.cfg")), 0);
  EXPECT_EQ(c.get(101).view(), "host");
  EXPECT_EQ(c.get(103).view(), "user [152] not a tag");
  EXPECT_EQ(c.get(151).view(), "30");
  EXPECT_FALSE(c.settings().contains(152));  // no defaults when the file exists
}

TEST(Configurations, BinaryAndOversizedFilesAreReadSafely) {
  ScratchDir dir;
  const char bytes[] = "\0\xff\n[101] a\0b\r\n\x1a[102] \r\n[103] x";
  dir.write("bin.cfg", std::string(bytes, sizeof bytes - 1));
  ConfigurationsManager c;
  ASSERT_EQ(c.read(dir.file("bin.cfg"), 0, 208), 0);
  EXPECT_EQ(c.get(101).str(), std::string("a\0b", 3));
  EXPECT_FALSE(c.settings().contains(102));  // not at a line start
  EXPECT_FALSE(c.settings().contains(103));  // no line end

  dir.write("big.cfg", "[101] big\r\n" + std::string(ConfigurationsManager::kMaxFileSize, 'x'));
  ConfigurationsManager big;
  EXPECT_EQ(big.readSettings(dir.file("big.cfg")), 1);
  EXPECT_FALSE(big.settings().contains(101));
  EXPECT_EQ(big.get(152).view(), "Tarnwick @Orvane");
}

TEST(Configurations, MissingFileGivesTheDefaultsAndAMessage) {
  ScratchDir dir;
  ConfigurationsManager c;
  EXPECT_EQ(c.readSettings(dir.file("none.cfg")), 1);
  EXPECT_EQ(c.message().str(), "can't open options file '" + dir.file("none.cfg") + "' to read");
  EXPECT_EQ(c.get(152).view(), "Tarnwick @Orvane");
  EXPECT_EQ(c.get(153).view(), "@Or:");
  EXPECT_EQ(c.get(154).view(), "Current status of your Tarnwick @Orvane");
}

TEST(Configurations, AFailedWriteKeepsTheOldFile) {
  ScratchDir dir;
  ConfigurationsManager c;
  c.set(101, "old");
  ASSERT_EQ(c.write(dir.file("c.cfg")), 0);
  c.set(101, "new");
  EXPECT_EQ(c.write(dir.file("missing/c.cfg")), 1);
  EXPECT_TRUE(c.message().startsWith("can't open options file '" + dir.file("missing/c.cfg") + "' for write\r\n"));
  EXPECT_EQ(dir.read("c.cfg"), "[101] old\r\n");
  EXPECT_EQ(c.write(dir.path()), 1);  // a directory cannot be replaced by a file
  EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
}

TEST(Configurations, PasswordScramblingRoundTrips) {
  EXPECT_EQ(scramble("").view(), "");
  EXPECT_EQ(unscramble("").view(), "");
  for (const char* p : {"a", "secret", "p\xe4ss w0rd!", "aaaaaa"}) {
    stringT s = scramble(p);
    EXPECT_NE(s.view(), p);
    EXPECT_EQ(s.find('\n'), stringT::npos);
    EXPECT_EQ(unscramble(s).view(), p);
  }
  unscramble("!!not base64 at all==");  // junk decodes to something, never fails
}

TEST(Configurations, IntervalIsShownInTheLargestExactUnit) {
  auto check = [](long minutes, long quantity, const char* unit) {
    IntervalDisplay d = intervalDisplay(minutes);
    EXPECT_EQ(d.quantity, quantity) << minutes;
    EXPECT_STREQ(d.unitText, unit) << minutes;
  };
  check(2880, 2, "*day(s)");
  check(90, 90, "*minute(s)");
  check(10080, 1, "*week(s)");
  check(120, 2, "*hour(s)");
  check(0, 0, "*minute(s)");
}

}  // namespace
