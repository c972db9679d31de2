#pragma once
// The system's socket interface, for the sources of libclsersim that share its address lookup:
// Winsock on Windows, the BSD sockets elsewhere.
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif
