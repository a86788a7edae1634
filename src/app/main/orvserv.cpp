// orvserv: the @Orvane gateway for one Tarnwick maintenance database.
#include <unistd.h>

#include <vector>

#include "app/gateway_program.h"

int main(int argc, char** argv) {
  std::vector<stringT> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  StartupIo io;
  io.interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  GatewayProgram program;
  return program.run(args, io);
}
