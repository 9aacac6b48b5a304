#include "outcome/CycleReporter.h"

#include "outcome/Notice.h"
#include "outcome/Notifier.h"
#include "outcome/StatusFile.h"
#include "history/HistoryRecorder.h"
#include "metrics/MetricsWriter.h"
#include "systemlog/SystemEvents.h"

#include <optional>

namespace {

MetricsReport metricsReport(const CycleReport& report, int entriesWaiting)
{
    MetricsReport metrics;
    for (const TargetReport& target : report.targets) {
        MetricsTarget::State state = MetricsTarget::State::Unknown;
        switch (target.state) {
        case TargetReport::State::Up:
            state = MetricsTarget::State::Up;
            break;
        case TargetReport::State::Down:
            state = MetricsTarget::State::Down;
            break;
        case TargetReport::State::Off:
            state = MetricsTarget::State::Off;
            break;
        case TargetReport::State::Unknown:
            break;
        }
        metrics.targets.append({kindName(target.kind), target.number, target.logName(), target.text, state});
    }
    metrics.targetsDown = report.count(TargetReport::State::Down);
    metrics.cycleEnd = report.ended;
    metrics.durationSeconds = double(report.durationMs) / 1000.0;
    metrics.pendingEntries = entriesWaiting;
    return metrics;
}

} // namespace

CycleReporter::CycleReporter(Notifier& notifier, QString statusFolder)
    : notifier_(notifier), statusFolder_(std::move(statusFolder))
{
}

bool CycleReporter::report(const CycleReport& report, int secondsToNextCycle)
{
    const ReportChanges::Changes changes = changes_.update(report);
    // Handed over first, so that the uptime counts this cycle; the database is written on the history's own thread.
    if (history_ != nullptr)
        history_->record(report);
    const auto uptime = [this, &report](int i) {
        return history_ != nullptr ? history_->uptime24h(report.targets[i], report.ended) : std::nullopt;
    };
    // A local file of a few kilobytes, written on the spot: scripts see the cycle as soon as it ended.
    const bool written = StatusFile::write(
        statusFolder_, StatusFile::json(
                           report, [this](int i) { return changes_.since(i); }, secondsToNextCycle, uptime));
    if (changes.any() && notifyChanges_)
        notifier_.show(Notice::about(report, changes));
    if (events_ != nullptr) {
        for (int i : changes.wentDown) {
            const TargetReport& target = report.targets[i];
            events_->targetDown(kindName(target.kind), target.logName(), target.text);
        }
        for (int i : changes.cameBack) {
            const TargetReport& target = report.targets[i];
            events_->targetBackUp(kindName(target.kind), target.logName(), target.text);
        }
    }
    if (metrics_ != nullptr)
        metrics_->write(metricsReport(report, entriesWaiting_ ? entriesWaiting_() : 0));
    return written;
}
