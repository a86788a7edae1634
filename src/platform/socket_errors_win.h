// Windows only: Winsock error codes as the errno values the socket layer
// reports (socket.h), so that callers test one set of names everywhere.
#pragma once

int errnoFromWinsock(int code);
