// tarnwick-sim create, run as a program: the databases it makes open
// through the table layer, pass the index check, and meet the gateway's
// version and activity checks as each option intends.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/user_interaction.h"
#include "db/gateway_layouts.h"
#include "db/maintenance_database.h"
#include "db/maintenance_layouts.h"
#include "engine/data4.h"
#include "engine/i4check.h"
#include "table/db_table.h"
#include "table/version_rows.h"

namespace {

namespace fs = std::filesystem;

class Recording : public UserInteraction {
 public:
  Recording() : previous_(&userInteraction()) { setUserInteraction(this); }
  ~Recording() override { setUserInteraction(previous_); }
  void messageBox(MessageIcon, const stringT&, const stringT& text) override { texts.push_back(text.str()); }
  bool saw(const std::string& part) const {
    for (const auto& t : texts)
      if (t.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> texts;

 private:
  UserInteraction* previous_;
};

class SimTest : public ::testing::Test {
 protected:
  SimTest() {
    std::string templ = (fs::temp_directory_path() / "orvsim.XXXXXX").string();
    root_ = mkdtemp(templ.data());
  }
  ~SimTest() override { fs::remove_all(root_); }

  // Runs tarnwick-sim with args; its exit status.
  int sim(const std::string& args) {
    const char* bin = std::getenv("ORV_BIN");
    std::string dir = bin != nullptr ? bin : std::string(ORV_BINARY_DIR) + "/bin";
    std::string cmd = dir + "/tarnwick-sim " + args + " >/dev/null 2>&1";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string dir(const std::string& name) const { return root_ + "/" + name; }

  std::string root_;
};

struct Named {
  const char* name;
  DBTableLayout layout;
  int keyTag;  // the KEY tag's position, -1 for tables without tags
};

TEST_F(SimTest, CreateMakesEveryTableTheGatewayUses) {
  ASSERT_EQ(sim("create " + dir("db")), 0);
  Recording shown;
  MaintenanceDatabase db(stringT(dir("db")), nullptr);
  ASSERT_TRUE(db.check(false));
  for (const Named& t :
       {Named{"contacts.dbf", contactsLayout(), kConTagKey}, {"wrequest.dbf", wrequestLayout(), kWrTagKey},
        {"worders.dbf", wordersLayout(), kWoTagKey}, {"units.dbf", unitsLayout(), kCodeTagKey},
        {"workcat.dbf", workcatLayout(), kCodeTagKey}, {"priority.dbf", priorityLayout(), kCodeTagKey},
        {"access.dbf", accessLayout(), kCodeTagKey}, {"system/default.dbf", defaultLayout(), -1},
        {"Versions.dbf", versionsLayout(), -1}}) {
    DBTable table(db, t.name, kOpenReadOnly, &t.layout);
    ASSERT_TRUE(table.isOpen()) << t.name;
    std::string problems;
    EXPECT_EQ(i4check(table.data(), [&](const std::string& p) { problems += p; }), 0) << t.name << problems;
    if (t.keyTag < 0) continue;
    // Record 1 is the prototype: its KEY is above every key handed out,
    // and no tag holds it.
    ASSERT_EQ(table.go(1), 0);
    long next = table.field(0)->asLong();
    ASSERT_EQ(table.selectTag(*table.tag(t.keyTag)), 0);
    int rc = table.bottom();
    if (rc == 0) {
      EXPECT_LT(table.field(0)->asLong(), next) << t.name;
      EXPECT_NE(table.recordNumber(), 1) << t.name;
    }
  }
  DBTableLayout contacts = contactsLayout();
  DBTable people(db, "contacts.dbf", kOpenReadOnly, &contacts);
  ASSERT_EQ(people.selectTag(*people.tag(kConTagEmail)), 0);
  EXPECT_EQ(people.seek(stringT("BOB@EXAMPLE.COM")), 0);
  EXPECT_NE(people.seek(stringT("FORMER@")), 0) << "hidden contacts are in no address tag";
  EXPECT_TRUE(shown.texts.empty()) << shown.texts[0];

  EXPECT_EQ(sim("create " + dir("db")), 1) << "an existing database is never overwritten";
  EXPECT_EQ(sim("create"), 2);
  EXPECT_EQ(sim("create " + dir("x") + " --layout 3.0"), 2);
}

TEST_F(SimTest, OlderLayoutsAreTooOldForTheGateway) {
  ASSERT_EQ(sim("create " + dir("v27") + " --layout 2.7"), 0);
  ASSERT_EQ(sim("create " + dir("v25") + " --layout 2.5 --no-samples"), 0);
  Recording shown;
  Version v;
  MaintenanceDatabase v27(stringT(dir("v27")), nullptr);
  ASSERT_EQ(v27.ReadDatabaseVersion(&v, false), 0);
  EXPECT_EQ(v.toString(), "2.7.501.2");
  MaintenanceDatabase v25(stringT(dir("v25")), nullptr);
  ASSERT_EQ(v25.ReadDatabaseVersion(&v, false), 0);
  EXPECT_EQ(v.toString(), "2.5.100.0");
  EXPECT_FALSE(v25.check(false));
  EXPECT_TRUE(shown.saw("The Tarnwick Database must be upgraded using Tarnwick"));
}

TEST_F(SimTest, InterruptedArchiveIsClearedUpOtherActivityRefused) {
  ASSERT_EQ(sim("create " + dir("arch") + " --interrupted-archive"), 0);
  ASSERT_EQ(sim("create " + dir("busy") + " --activity 1"), 0);
  Recording shown;
  {
    MaintenanceDatabase db(stringT(dir("arch")), nullptr);
    EXPECT_EQ(db.readActivityCode(), 3);
    ASSERT_TRUE(db.check(false));
    EXPECT_EQ(db.readActivityCode(), 0);
    EXPECT_FALSE(fs::exists(dir("arch/ArchDels.dbf")));
    DBTableLayout archives = archivesLayout();
    DBTable t(db, "archives.dbf", kOpenReadOnly, &archives);
    ASSERT_EQ(t.go(2), 0);
    EXPECT_TRUE(t.isDeleted());
  }
  MaintenanceDatabase busy(stringT(dir("busy")), nullptr);
  EXPECT_FALSE(busy.check(false));
  EXPECT_TRUE(shown.saw("The Tarnwick Database is partway through a Reindex or Archive Purge operation"));
}

}  // namespace
