#include "monitor/ReportChanges.h"

ReportChanges::Changes ReportChanges::update(const CycleReport& report)
{
    using State = TargetReport::State;
    Changes changes;
    for (int i = 0; i < kTargetCount; ++i) {
        const State now = report.targets[i].state;
        const std::optional<State> before =
            previous_ ? std::optional<State>(previous_->targets[i].state) : std::nullopt;
        if (now == State::Down && before != State::Down)
            changes.wentDown << i;
        else if (now == State::Up && before == State::Down)
            changes.cameBack << i;
        if (before != now)
            since_[i] = report.ended;
    }
    previous_ = report;
    return changes;
}
