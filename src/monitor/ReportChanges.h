#pragma once

#include "monitor/CycleReport.h"

#include <QDateTime>
#include <QList>

#include <array>
#include <optional>

// Compares each cycle's report with the one before: which targets went down (down now, not down
// before) and which came back (up now, down before). A target switched off or left unknown does
// neither. In the first cycle of a run every down target went down. It also keeps, for each
// target, when this run first saw it in its present state.
class ReportChanges {
public:
    struct Changes {
        QList<int> wentDown; // indexes in cycle order
        QList<int> cameBack;
        bool any() const { return !wentDown.isEmpty() || !cameBack.isEmpty(); }
    };

    Changes update(const CycleReport& report);

    // When this run first saw target `index` in the state of the last report.
    QDateTime since(int index) const { return since_[index]; }

private:
    std::optional<CycleReport> previous_;
    std::array<QDateTime, kTargetCount> since_;
};
