#include "monitor/DownConfirmation.h"

QList<DownConfirmation::AnsweredAgain> DownConfirmation::cycleEnded(const std::array<bool, kTargetCount>& down,
                                                                    const std::array<bool, kTargetCount>& up,
                                                                    const std::array<bool, kTargetCount>& off,
                                                                    const QDateTime& ended)
{
    QList<AnsweredAgain> answered;
    for (int i = 0; i < kTargetCount; ++i) {
        if (uncounted_[i] && up[i])
            answered.append({i, int(lastEnded_.secsTo(ended))});
        if (!down[i] && !up[i] && !off[i]) {
            uncounted_[i] = false;
            continue;
        }
        uncounted_[i] = enabled_ && down[i] && !foundDown_[i];
        foundDown_[i] = down[i];
    }
    lastEnded_ = ended;
    return answered;
}
