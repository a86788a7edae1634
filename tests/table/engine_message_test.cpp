#include "table/engine_message.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "common/string_mapper.h"
#include "db/db_test_support.h"
#include "engine/code4.h"
#include "engine/error4.h"

namespace {

class EngineMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(code4init(&c), 0);
    c.errorHook = engineErrorHook;
  }
  CODE4 c;
  dbtest::RecordingInteraction shown;
};

TEST_F(EngineMessageTest, FileErrorWithSystemMessage) {
  stringMapper().setEntry("*Access Error Opening File", "Zugriffsfehler");
  errno = ENOENT;
  error4describe(&c, -62, 90071, "/data/contacts.dbf");
  stringMapper().clear();
  ASSERT_EQ(shown.texts.size(), 1u);
  EXPECT_EQ(shown.texts[0], std::string("Zugriffsfehler\r\nStatus -62 90071\r\n/data/contacts.dbf\r\n") +
                                std::strerror(ENOENT));
  EXPECT_EQ(error4code(&c), 0) << "the engine must accept the next operation";
}

TEST_F(EngineMessageTest, LocationRowsGeneralRowsAndUnknownCodes) {
  error4describe(&c, -720, 30000, nullptr);
  error4describe(&c, -62, 123, "a", "", "c");
  error4describe(&c, -999, 7, "x");
  error4(&c, -120, 80013);
  ASSERT_EQ(shown.texts.size(), 4u);
  EXPECT_EQ(shown.texts[0], "Multiple Slave Records Located\r\nStatus -720 30000");
  EXPECT_EQ(shown.texts[1], "Access Error Opening File\r\nStatus -62 123\r\na\r\nc");
  EXPECT_EQ(shown.texts[2], "Status -999 7\r\nx");
  EXPECT_EQ(shown.texts[3], "Writing to READONLY File\r\nStatus -120 80013");
}

TEST(SystemMessage, UnknownNumbersAreShownAsStatus) {
  EXPECT_EQ(SystemMessage(EACCES).messageText(), std::strerror(EACCES));
  EXPECT_EQ(SystemMessage(0x7654321).messageText(), "status 07654321\n");
}

TEST(EngineMessage, AppendedMessagesFollowOnTheirOwnLines) {
  EngineMessage m(nullptr, nullptr, 70, 0, "f", "", "");
  m.append(std::make_unique<SystemMessage>(0x7654321));
  m.append(std::make_unique<SystemMessage>(0x7654322));
  EXPECT_EQ(m.reportText(), "Cannot open the file\r\nStatus 70 0\r\nf\r\nstatus 07654321\n\r\nstatus 07654322\n");
}

}  // namespace
