#include "probes/Module1.h"

#include <winsock2.h>

// The start record is the native WSADATA, zeroed before every start: 404 bytes in 32-bit builds but 408
// in 64-bit ones, so a fixed 404-byte buffer would be overrun. Nothing in it is read afterwards.

int Module1::WinsockStart()
{
    WSADATA startData{};
    return WSAStartup(MAKEWORD(1, 1), &startData) == 0 ? -1 : 0;
}

int Module1::WinsockStop()
{
    return WSACleanup();
}
