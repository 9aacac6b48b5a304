#pragma once

#include "monitor/ReportChanges.h"

#include <QString>

#include <functional>

class HistoryRecorder;
class MetricsWriter;
class Notifier;
class SystemEvents;

// What follows each cycle's report beyond the lamp: the status file is replaced, and when a target went
// down or came back since the cycle before, one notice says so (if the user wants notices) and the
// system's log hears of each such target; the metrics file, where there is one, gets the report.
class CycleReporter {
public:
    CycleReporter(Notifier& notifier, QString statusFolder);

    void setNotifyChanges(bool on) { notifyChanges_ = on; }
    void setSystemEvents(SystemEvents* events) { events_ = events; }
    // `entriesWaiting` says how many log entries wait to go in when the report is made.
    void setMetrics(MetricsWriter* metrics, std::function<int()> entriesWaiting)
    {
        metrics_ = metrics;
        entriesWaiting_ = std::move(entriesWaiting);
    }
    // Each report goes into the history, and the status file tells each target's uptime from it; until set, neither.
    void setHistory(HistoryRecorder* history) { history_ = history; }
    bool notifyChanges() const { return notifyChanges_; }

    // Whether the status file was written; a failure costs nothing else, and the next cycle tries again.
    bool report(const CycleReport& report, int secondsToNextCycle);

private:
    Notifier& notifier_;
    QString statusFolder_;
    ReportChanges changes_;
    bool notifyChanges_ = true;
    SystemEvents* events_ = nullptr;
    MetricsWriter* metrics_ = nullptr;
    HistoryRecorder* history_ = nullptr;
    std::function<int()> entriesWaiting_;
};
