#include "systemlog/AdminCommand.h"

#include <cstdio>

AdminCommand::Result AdminCommand::registerSource()
{
    return {false, "There is no Windows event log here: Pylvane writes to the systemd journal, or to syslog, "
                   "without being registered."};
}

AdminCommand::Result AdminCommand::unregisterSource()
{
    return registerSource();
}

void AdminCommand::print(const std::string& line, bool error)
{
    std::fprintf(error ? stderr : stdout, "%s\n", line.c_str());
}

void AdminCommand::useBinaryInput() {}
