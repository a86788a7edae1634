// orvserv: the @Orvane gateway for one Tarnwick maintenance database.
#include <unistd.h>

#include <vector>

#include "app/startup.h"

int main(int argc, char** argv) {
  std::vector<stringT> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  StartupIo io;
  io.interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  Application application;
  if (!application.startUp(args, io)) return application.exitStatus();
  return 0;
}
