// A console stopped at once after it started (a SIGTERM that comes while
// the program is still starting) must still stop.
#include <gtest/gtest.h>

#include <string>

#include "ui/console_api.h"
#include "ui/console_server.h"

namespace {

TEST(ConsoleServer, AStopRightAfterTheStartEnds) {
  ConsoleApi api(ConsoleContext{});
  for (int i = 0; i < 100; ++i) {
    ConsoleConfig config;
    ConsoleServer server(config, api);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    server.stop();  // hung in join() when the listening thread had not yet started
  }
}

}  // namespace
