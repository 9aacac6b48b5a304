#include "probes/Module1.h"

// POSIX sockets need no library start or release; a Windows build replaces this file with one that
// brackets each echo with the socket library's start and cleanup.

int Module1::WinsockStart()
{
    return -1;
}

int Module1::WinsockStop()
{
    return 0;
}
