// Windows has no signals: Ctrl+C, Ctrl+Break, closing the console window,
// logging off and shutting down reach the console control handler, which
// only records the request; the program takes it where it waits, as it
// takes SIGINT and SIGTERM on POSIX.
#include "platform/shutdown_signals.h"

#include <windows.h>

namespace {

HANDLE stopEvent() {
  // Auto-reset: each request is taken once.
  static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return event;
}

BOOL WINAPI onControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      SetEvent(stopEvent());
      // For a close, log-off or shut-down Windows ends the process when the
      // handler returns; give the program's clean shutdown a moment.
      if (type >= CTRL_CLOSE_EVENT) Sleep(5000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void blockShutdownSignals() {
  stopEvent();
  SetConsoleCtrlHandler(&onControl, TRUE);
}

bool waitForShutdownSignal(long ms) {
  return WaitForSingleObject(stopEvent(), ms < 0 ? 0 : static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

void requestShutdown() { SetEvent(stopEvent()); }
