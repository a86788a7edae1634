// Helpers for the manager tests: scratch copies of the fixture databases
// (or databases made by tarnwick-sim create) opened as the gateway opens
// them, and the in-process form of "orvdb check" for the tables a test
// touched.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/gateway_database.h"
#include "db/maintenance_database.h"
#include "db_test_support.h"
#include "engine/i4check.h"
#include "table/database_context.h"
#include "table/db_table.h"

namespace dbtest {

struct Databases {
  Scratch scratch;
  RecordingInteraction shown;
  std::unique_ptr<GatewayDatabase> gateway;
  std::unique_ptr<MaintenanceDatabase> maintenance;

  // Copies of fixtures/tables/gateway and fixtures/tables/tarnwick.
  void openFixtures() {
    std::string g = scratch.copyFixture("gateway", "gw");
    std::string m = scratch.copyFixture("tarnwick", "tw");
    open(g, m);
  }
  void open(const std::string& gatewayDir, const std::string& maintenanceDir) {
    gateway = std::make_unique<GatewayDatabase>(stringT(gatewayDir), nullptr);
    maintenance = std::make_unique<MaintenanceDatabase>(stringT(maintenanceDir), nullptr);
    ASSERT_TRUE(gateway->Validate(true));
    ASSERT_TRUE(maintenance->Validate(true));
  }
};

// Every tag of the named tables (files in dir) against their data, as
// "orvdb check" does. Returns the problems found, empty when consistent.
inline std::string checkTables(const DatabaseContext& db, const std::vector<std::string>& names) {
  std::string problems;
  for (const std::string& name : names) {
    DBTable t(const_cast<DatabaseContext&>(db), stringT(name), kOpenReadOnly);
    if (!t.isOpen()) {
      problems += name + ": cannot open\n";
      continue;
    }
    int rc = i4check(t.data(), [&](const std::string& p) { problems += name + ": " + p + "\n"; });
    if (rc < 0) problems += name + ": check failed " + std::to_string(rc) + "\n";
  }
  return problems;
}

}  // namespace dbtest
