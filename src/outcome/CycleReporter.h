#pragma once

#include "monitor/ReportChanges.h"

#include <QString>

class Notifier;

// What follows each cycle's report beyond the lamp: the status file is replaced, and when a target went
// down or came back since the cycle before, one notice says so (if the user wants notices).
class CycleReporter {
public:
    CycleReporter(Notifier& notifier, QString statusFolder);

    void setNotifyChanges(bool on) { notifyChanges_ = on; }
    bool notifyChanges() const { return notifyChanges_; }

    // Whether the status file was written; a failure costs nothing else, and the next cycle tries again.
    bool report(const CycleReport& report, int secondsToNextCycle);

private:
    Notifier& notifier_;
    QString statusFolder_;
    ReportChanges changes_;
    bool notifyChanges_ = true;
};
