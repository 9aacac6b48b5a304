#include "ui/LampStatus.h"

#include "monitor/CycleReport.h"

void LampStatus::waitForFirstCheck(const QString& firstCheckTime)
{
    state_ = State::NoCheckYet;
    time_ = firstCheckTime;
    down_.clear();
}

void LampStatus::checking()
{
    state_ = State::Checking;
    down_.clear();
}

void LampStatus::ended(const CycleReport& report, const QString& time)
{
    state_ = report.red ? State::Red : State::Green;
    time_ = time;
    down_.clear();
    for (const TargetReport& target : report.targets) {
        if (target.state == TargetReport::State::Down)
            down_ << target.described();
    }
}

QString LampStatus::name() const
{
    switch (state_) {
    case State::NoCheckYet:
        return QStringLiteral("Status: grey, no check yet");
    case State::Checking:
        return QStringLiteral("Status: grey, checking");
    case State::Green:
        return QStringLiteral("Status: green, nothing down");
    case State::Red:
        break;
    }
    return down_.size() == 1 ? QStringLiteral("Status: red, 1 target down")
                             : QStringLiteral("Status: red, %1 targets down").arg(down_.size());
}

QString LampStatus::description() const
{
    switch (state_) {
    case State::NoCheckYet:
        return QStringLiteral("No check has run yet; the first starts at about %1.").arg(time_);
    case State::Checking:
        return QStringLiteral("Checking the targets now.");
    case State::Green:
        return QStringLiteral("The last check ended at %1 and found nothing down.").arg(time_);
    case State::Red:
        break;
    }
    return QStringLiteral("The last check ended at %1. Down:\n").arg(time_) + down_.join(QLatin1Char('\n'));
}

QString LampStatus::toolTip() const
{
    return name() + QLatin1Char('\n') + description();
}
