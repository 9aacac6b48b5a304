#include "probes/EchoRights.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

bool echoAllowed()
{
    // Any user may send echoes through the helper library; what can fail is getting a handle at all.
    const HANDLE handle = IcmpCreateFile();
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    IcmpCloseHandle(handle);
    return true;
}

std::string echoRightsAdvice(const std::string&)
{
    return "Pylvane cannot open the ICMP helper library (IcmpCreateFile failed), so it cannot tell whether devices "
           "and cameras are up";
}
