#include "probes/ProcessQuery.h"
#include "probes/ProcessTable.h"
#include "probes/WmiProcessNames.h"

#include <memory>

bool exeRunning(const std::string& name)
{
    // One query thread for the whole run: each question still binds to the service anew.
    static ProcessQuery query(std::make_unique<WmiProcessNames>());
    return query.exeRunning(name);
}
