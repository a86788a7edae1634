#include "platform/connection_cut.h"

#include <sys/socket.h>

#include <cerrno>

int cutConnection(int socketHandle) { return ::shutdown(socketHandle, SHUT_RDWR) == 0 ? 0 : errno; }
