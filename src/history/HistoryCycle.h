#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct CycleReport;

// One cycle as the history keeps it: plain values, copied out of the cycle's report on the UI thread so that the
// writer's thread shares nothing with it.
struct HistoryCycle {
    struct Check {
        QString kind; // "device", "camera", "process"
        int number = 0;
        QString logName; // "Cam3"
        QString text;    // the address or process name the check went to
        QString state;   // "up", "down", "unknown", "confirming"
        std::optional<int> rttMs;
    };

    int64_t endedMs = 0; // UTC
    int64_t durationMs = 0;
    QString startedBy;         // "schedule", "X", "second look"
    std::vector<Check> checks; // one per enabled target; a target that is off has none

    static HistoryCycle from(const CycleReport& report);
};
