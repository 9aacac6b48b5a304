#include "probes/ProcessAlive.h"

#include <windows.h>

bool processRuns(long long pid)
{
    if (pid <= 0 || pid > static_cast<long long>(MAXDWORD))
        return false;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    // The system answers "invalid parameter" for an id no process has; one that may not be opened is there.
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}
