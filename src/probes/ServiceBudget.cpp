#include "probes/ServiceBudget.h"

#include <algorithm>

void ServiceBudget::beginCycle()
{
    spent_ = {};
    slow_ = false;
}

ServiceBudget::Duration ServiceBudget::nextWait() const
{
    if (slow_ || spent_ >= kCycleTotal) {
        return {};
    }
    return std::min<Duration>(perQuestion_, kCycleTotal - spent_);
}

void ServiceBudget::charge(Duration waited)
{
    spent_ += std::max<Duration>(waited, {});
    slow_ = slow_ || waited > kSlowAnswer;
}
