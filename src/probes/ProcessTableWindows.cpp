#include "probes/ProcessQuery.h"
#include "probes/ProcessTable.h"
#include "probes/WmiProcessNames.h"

#include <memory>

namespace {

// One query thread for the whole run: each question still binds to the service anew.
ProcessQuery& query()
{
    static ProcessQuery query(std::make_unique<WmiProcessNames>());
    return query;
}

} // namespace

std::optional<bool> exeRunning(const std::string& name)
{
    return query().exeRunning(name);
}

void beginProcessCycle()
{
    query().beginCycle();
}
