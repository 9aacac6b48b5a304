#include "monitor/ReportChanges.h"

ReportChanges::Changes ReportChanges::update(const CycleReport& report)
{
    Changes changes;
    for (int i = 0; i < kTargetCount; ++i) {
        const State now = report.targets[i].state;
        if (report.targets[i].text != texts_[i]) {
            texts_[i] = report.targets[i].text;
            lastKnown_[i].reset();
            previous_[i].reset();
        }
        if (now == State::Up || now == State::Down) {
            if (now == State::Down && lastKnown_[i] != State::Down)
                changes.wentDown << i;
            else if (now == State::Up && lastKnown_[i] == State::Down)
                changes.cameBack << i;
            if (lastKnown_[i] != now)
                knownSince_[i] = report.ended;
            lastKnown_[i] = now;
            since_[i] = knownSince_[i];
        } else {
            if (now == State::Off)
                lastKnown_[i].reset();
            if (previous_[i] != now)
                since_[i] = report.ended;
        }
        previous_[i] = now;
    }
    return changes;
}
