// orvserv: the @Orvane gateway for one Tarnwick maintenance database.
#include <vector>

#include "app/gateway_program.h"
#include "platform/common_files.h"
#include "platform/secret_input.h"
#include "platform/terminal.h"

int main(int argc, char** argv) {
  // Before anything reads a file or asks a question: common's files go
  // through the platform's file system, and questions to the terminal.
  installPlatformFileAccess();
  installTerminalInteraction();
  std::vector<stringT> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  StartupIo io;
  io.interactive = isTerminal(stdin) && isTerminal(stdout);
  GatewayProgram program;
  return program.run(args, io);
}
