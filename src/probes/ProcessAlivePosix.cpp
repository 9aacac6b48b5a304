#include "probes/ProcessAlive.h"

#include <cerrno>
#include <climits>
#include <csignal>

bool processRuns(long long pid)
{
    return pid > 0 && pid <= INT_MAX && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}
