#include "table/engine_message_table.h"

#include <gtest/gtest.h>

#include <string>

TEST(EngineMessageTable, IsSortedForTheBinarySearch) {
  auto rows = engineMessageTable();
  ASSERT_EQ(rows.size(), 132u);
  for (size_t i = 1; i < rows.size(); ++i) {
    const auto& a = rows[i - 1];
    const auto& b = rows[i];
    EXPECT_TRUE(a.code > b.code || (a.code == b.code && a.location < b.location)) << "row " << i;
  }
}

TEST(EngineMessageTable, EveryRowIsFoundByItsOwnCodeAndLocation) {
  auto rows = engineMessageTable();
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_EQ(lookupEngineMessage(rows[i].code, rows[i].location), static_cast<int>(i)) << rows[i].text;
}

TEST(EngineMessageTable, LocationRowsGeneralRowsAndUnknownCodes) {
  auto text = [](int code, int location) {
    int row = lookupEngineMessage(code, location);
    return row < 0 ? std::string("-") : std::string(engineMessageTable()[row].text);
  };
  int row = lookupEngineMessage(-62, 90071);
  ASSERT_GE(row, 0);
  EXPECT_EQ(engineMessageTable()[row].location, 90071);
  EXPECT_TRUE(engineMessageTable()[row].flags & kAppendSystemMessage);
  EXPECT_EQ(text(-62, 123), "*Access Error Opening File");
  EXPECT_EQ(engineMessageTable()[lookupEngineMessage(-62, 123)].location, 0);
  EXPECT_EQ(text(-120, 80013), "*Writing to READONLY File");
  EXPECT_EQ(text(-720, 30000), "*Multiple Slave Records Located");
  EXPECT_EQ(text(-999, 0), "-");
  EXPECT_EQ(text(3, 77), "*End-of-file reached");
  EXPECT_EQ(text(1, 0), "-");
  EXPECT_EQ(text(-2200, 0), "-");
  EXPECT_EQ(text(100, 0), "-");
}
