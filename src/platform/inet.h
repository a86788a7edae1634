// The system's IP address types and conversions (sockaddr_in, inet_pton,
// htons, ...) and the resolver's error numbers (HOST_NOT_FOUND, ...), for
// code that hands addresses to a library or fakes the resolver.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif
