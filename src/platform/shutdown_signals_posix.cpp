#include "platform/shutdown_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <ctime>

namespace {

sigset_t shutdownSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void blockShutdownSignals() {
  sigset_t set = shutdownSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool waitForShutdownSignal(long ms) {
  sigset_t set = shutdownSignals();
  timespec wait{ms / 1000, (ms % 1000) * 1000000L};
  return sigtimedwait(&set, nullptr, &wait) > 0;
}

void requestShutdown() { ::kill(::getpid(), SIGTERM); }
