// The name of a contact the gateway makes for an unknown sender.
#include <gtest/gtest.h>

#include <vector>

#include "cycle/sender_identity.h"
#include "db/accounts_manager.h"
#include "db/manager_test_support.h"

namespace {

struct Made {
  stringT name, email;
};

Made resolveNew(const stringT& displayName, const stringT& address) {
  dbtest::Databases d;
  d.openFixtures();
  AccountsManager accounts(*d.gateway, *d.maintenance);
  EXPECT_EQ(accounts.Load(), 0);
  std::vector<stringT> reports;
  long key = resolveSender(accounts, displayName, address, [&](const stringT& t) { reports.push_back(t); });
  EXPECT_NE(key, 0);
  EXPECT_TRUE(reports.empty()) << reports[0];
  auto account = accounts.GetAccount(key);
  if (!account) return {};
  return {account->get(kAccountName), account->get(kAccountEmail)};
}

TEST(ContactName, MadeFromTheAddressAloneIsTheAddressInUpperCase) {
  Made m = resolveNew("\" ' \"", "Pat.Doe@New.Example");
  EXPECT_EQ(m.name, "PAT.DOE@NEW.EXAMPLE");
  EXPECT_EQ(m.email, "pat.doe@new.example");
}

TEST(ContactName, ADisplayNameIsKeptAsWritten) {
  Made m = resolveNew("\"Pat O'Doe\"", "Pat.Doe@New.Example");
  EXPECT_EQ(m.name, "Pat ODoe");
}

}  // namespace
