#include "monitor/CheckSchedule.h"

#include "monitor/TextNumber.h"

#include <algorithm>

CheckSchedule::CheckSchedule(QObject* parent) : QObject(parent)
{
    timer1_.setInterval(kIntervalMs);
    timer2_.setInterval(kIntervalMs);
    connect(&timer2_, &QTimer::timeout, this, &CheckSchedule::tick);
}

void CheckSchedule::load()
{
    text1_ = kPreset;
    timer2_.start();
}

void CheckSchedule::preset()
{
    text1_ = kPreset;
}

void CheckSchedule::tick()
{
    // Only the three writers of the counter touch it, always with whole numbers; should the text
    // ever fail to convert, a cycle is armed and the count starts again rather than stalling.
    const double count = textToNumber(text1_).value_or(kThreshold - 1);
    text1_ = numberToText(count + 1);
    if (textToNumber(text1_).value_or(kThreshold) >= kThreshold) {
        // Arming an armed timer restarts its delay; one cycle follows either way.
        timer1_.start();
        text1_ = kReset;
    }
}

int CheckSchedule::secondsToNextCycle() const
{
    const int interval = kIntervalMs / 1000;
    if (timer1_.isActive())
        return timer1_.remainingTime() / 1000;
    const int nextTick = timer2_.isActive() ? timer2_.remainingTime() / 1000 : interval;
    const double count = std::clamp(textToNumber(text1_).value_or(0), 0.0, kThreshold);
    // The tick that takes the count to the threshold arms the cycle timer, which fires one interval later.
    const int ticksAfterNext = count + 1 >= kThreshold ? 0 : int(kThreshold - count - 1);
    return nextTick + ticksAfterNext * interval + interval;
}
