#include "platform/connection_cut.h"

#include <winsock2.h>

#include "platform/socket_errors_win.h"

int cutConnection(int socketHandle) {
  return ::shutdown(static_cast<SOCKET>(socketHandle), SD_BOTH) == 0 ? 0 : errnoFromWinsock(WSAGetLastError());
}
