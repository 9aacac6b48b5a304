#include "outcome/CycleReporter.h"

#include "outcome/Notice.h"
#include "outcome/Notifier.h"
#include "outcome/StatusFile.h"

CycleReporter::CycleReporter(Notifier& notifier, QString statusFolder)
    : notifier_(notifier), statusFolder_(std::move(statusFolder))
{
}

bool CycleReporter::report(const CycleReport& report, int secondsToNextCycle)
{
    const ReportChanges::Changes changes = changes_.update(report);
    // A local file of a few kilobytes, written on the spot: scripts see the cycle as soon as it ended.
    const bool written =
        StatusFile::write(statusFolder_, StatusFile::json(
                                             report, [this](int i) { return changes_.since(i); }, secondsToNextCycle));
    if (changes.any() && notifyChanges_)
        notifier_.show(Notice::about(report, changes));
    return written;
}
