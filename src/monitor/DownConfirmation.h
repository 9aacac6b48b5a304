#pragma once

#include "monitor/Targets.h"

#include <QDateTime>
#include <QList>

#include <array>

// "Check twice before an alarm": a target that a cycle finds down, where the cycle before did not find it down,
// does not count as down yet; the next cycle, brought forward to about 20 seconds later, looks again. Found down
// again it counts, as it does in every later cycle that finds it down; found up, it had missed one echo (or a
// service was restarting) and counts as up. With the option off every target found down counts at once.
class DownConfirmation {
public:
    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // Whether target `index`, found down by the running cycle, counts as down now.
    bool counts(int index) const { return !enabled_ || foundDown_[index]; }

    struct AnsweredAgain {
        int index;
        int seconds; // from the cycle that found it down to the one that found it up
    };
    // The running cycle has ended at `ended`, having found the targets in `down` down (counted or not), those in
    // `up` up and those in `off` switched off. Gives the targets that the cycle before found down without counting
    // them and that answered now. A target that could not be checked is no news: one found down before stays
    // found down, so that a dead target that now and then cannot be checked still comes to count.
    QList<AnsweredAgain> cycleEnded(const std::array<bool, kTargetCount>& down,
                                    const std::array<bool, kTargetCount>& up,
                                    const std::array<bool, kTargetCount>& off, const QDateTime& ended);

private:
    bool enabled_ = false;
    std::array<bool, kTargetCount> foundDown_{}; // by the last cycle, counted or not
    std::array<bool, kTargetCount> uncounted_{}; // found down by the last cycle without counting
    QDateTime lastEnded_;
};
