#include "history/HistoryCycle.h"

#include "history/HistorySchema.h"
#include "monitor/CycleReport.h"

namespace {

QString startedByName(CycleReport::StartedBy startedBy)
{
    switch (startedBy) {
    case CycleReport::StartedBy::X:
        return QString::fromLatin1(HistorySchema::kStartedByX);
    case CycleReport::StartedBy::SecondLook:
        return QString::fromLatin1(HistorySchema::kStartedBySecondLook);
    case CycleReport::StartedBy::Schedule:
        break;
    }
    return QString::fromLatin1(HistorySchema::kStartedBySchedule);
}

QString stateOf(const TargetReport& target)
{
    // A down waiting for its second look is kept as such: the report shows what was last known of it instead.
    if (target.confirming)
        return QString::fromLatin1(HistorySchema::kConfirming);
    switch (target.state) {
    case TargetReport::State::Up:
        return QString::fromLatin1(HistorySchema::kUp);
    case TargetReport::State::Down:
        return QString::fromLatin1(HistorySchema::kDown);
    case TargetReport::State::Off:
    case TargetReport::State::Unknown:
        break;
    }
    return QString::fromLatin1(HistorySchema::kUnknown);
}

} // namespace

HistoryCycle HistoryCycle::from(const CycleReport& report)
{
    HistoryCycle cycle;
    cycle.endedMs = report.ended.toMSecsSinceEpoch();
    cycle.durationMs = report.durationMs;
    cycle.startedBy = startedByName(report.startedBy);
    for (const TargetReport& target : report.targets) {
        if (target.state == TargetReport::State::Off)
            continue;
        const QString state = stateOf(target);
        const bool up = state == QLatin1String(HistorySchema::kUp);
        cycle.checks.push_back({kindName(target.kind), target.number, target.logName(), target.text, state,
                                up ? target.rttMs : std::nullopt});
    }
    return cycle;
}
