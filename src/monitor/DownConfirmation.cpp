#include "monitor/DownConfirmation.h"

#include <algorithm>

bool DownConfirmation::anyToLookAgain() const
{
    return enabled_ && std::any_of(uncounted_.begin(), uncounted_.end(), [](bool b) { return b; });
}

QList<DownConfirmation::AnsweredAgain> DownConfirmation::cycleEnded(const std::array<bool, kTargetCount>& down,
                                                                    const std::array<bool, kTargetCount>& up,
                                                                    const std::array<bool, kTargetCount>& off,
                                                                    const std::array<QString, kTargetCount>& texts,
                                                                    qint64 endedMs)
{
    QList<AnsweredAgain> answered;
    for (int i = 0; i < kTargetCount; ++i) {
        if (texts[i] != texts_[i]) {
            foundDown_[i] = false;
            uncounted_[i] = false;
            counted_[i] = false;
            texts_[i] = texts[i];
        }
        if (uncounted_[i] && up[i])
            answered.append({i, int((endedMs - lastEndedMs_ + 500) / 1000)});
        if (!down[i] && !up[i] && !off[i]) {
            uncounted_[i] = false;
            continue;
        }
        uncounted_[i] = enabled_ && down[i] && !foundDown_[i];
        counted_[i] = down[i] && !uncounted_[i];
        foundDown_[i] = down[i];
    }
    lastEndedMs_ = endedMs;
    return answered;
}
