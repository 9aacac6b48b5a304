#pragma once

#include "monitor/CycleReport.h"

#include <QDateTime>
#include <QList>

#include <array>
#include <optional>

// Compares each cycle's report with what was known of each target before. A target went down when
// it is down now and its last known state (up or down; cycles in which it could not be checked are
// skipped) was not down; it came back when it is up now and its last known state was down. So a
// target that flaps through "unknown" neither goes down twice nor stays down unseen. Switching a
// target off forgets its last known state, and so does changing its address or process name: it is
// another target then. In the first cycle of a run every down target went
// down. It also keeps, for each target, since when this run has known it in its present state.
class ReportChanges {
public:
    struct Changes {
        QList<int> wentDown; // indexes in cycle order
        QList<int> cameBack;
        bool any() const { return !wentDown.isEmpty() || !cameBack.isEmpty(); }
    };

    Changes update(const CycleReport& report);

    // Since when this run has known target `index` in the state of the last report: for up or down,
    // since it was first found so after its last known state was another; otherwise since it first
    // showed this state.
    QDateTime since(int index) const { return since_[index]; }
    // Up or down, as target `index` was last found while its text was `text`; nothing before that, since it was
    // switched off, or since its text was another.
    std::optional<TargetReport::State> lastKnown(int index, const QString& text) const
    {
        return texts_[index] == text ? lastKnown_[index] : std::nullopt;
    }

private:
    using State = TargetReport::State;

    std::array<std::optional<State>, kTargetCount> previous_;
    std::array<std::optional<State>, kTargetCount> lastKnown_;
    std::array<QDateTime, kTargetCount> knownSince_;
    std::array<QDateTime, kTargetCount> since_;
    std::array<QString, kTargetCount> texts_;
};
