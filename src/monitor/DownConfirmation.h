#pragma once

#include "monitor/Targets.h"

#include <QList>
#include <QString>

#include <array>

// "Check twice before an alarm": a target that a cycle finds down, where the cycle before did not find it down,
// does not count as down yet; the next cycle, brought forward to about 20 seconds later, looks again. Found down
// again it counts, as it does in every later cycle that finds it down; found up, it had missed one echo (or a
// service was restarting) and counts as up. With the option off every target found down counts at once.
// What was found follows the target, not its place in the settings: a target whose address or process name has
// changed since is another target, and starts afresh.
class DownConfirmation {
public:
    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // Whether target `index`, found down by the running cycle with the text `text`, counts as down now.
    bool counts(int index, const QString& text) const
    {
        return !enabled_ || (foundDown_[index] && texts_[index] == text);
    }
    // Whether this finding, one that counts, is the look that confirms it: the last cycle that found it down did
    // not count it yet.
    bool confirms(int index, const QString& text) const { return counts(index, text) && !counted_[index]; }
    // Whether the last cycle left a target to be looked at again.
    bool anyToLookAgain() const;

    struct AnsweredAgain {
        int index;
        int seconds; // from the cycle that found it down to the one that found it up
    };
    // The running cycle has ended at `endedMs` on a clock that only goes forward, having found the targets in `down`
    // down (counted or not), those in `up` up and those in `off` switched off, each target with the text in `texts`.
    // Gives the targets that the cycle before found down without counting them and that answered now. A target that
    // could not be checked is no news: one found down before stays found down, so that a dead target that now and
    // then cannot be checked still comes to count.
    QList<AnsweredAgain> cycleEnded(const std::array<bool, kTargetCount>& down,
                                    const std::array<bool, kTargetCount>& up, const std::array<bool, kTargetCount>& off,
                                    const std::array<QString, kTargetCount>& texts, qint64 endedMs);

private:
    bool enabled_ = false;
    std::array<bool, kTargetCount> foundDown_{}; // by the last cycle that could check it, counted or not
    std::array<bool, kTargetCount> uncounted_{}; // found down by the last cycle without counting
    std::array<bool, kTargetCount> counted_{};   // found down and counted by the last cycle that could check it
    std::array<QString, kTargetCount> texts_;    // what each target was when last found
    qint64 lastEndedMs_ = 0;
};
