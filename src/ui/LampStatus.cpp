#include "ui/LampStatus.h"

#include "monitor/CycleReport.h"

void LampStatus::waitForFirstCheck(const QString& firstCheckTime)
{
    state_ = State::NoCheckYet;
    time_ = firstCheckTime;
    down_.clear();
    unchecked_.clear();
    confirming_.clear();
    commandProblem_.clear();
}

void LampStatus::checking()
{
    state_ = State::Checking;
    down_.clear();
    unchecked_.clear();
    confirming_.clear();
    commandProblem_.clear();
}

void LampStatus::ended(const CycleReport& report, const QString& time)
{
    state_ = report.red ? State::Red : State::Green;
    time_ = time;
    down_.clear();
    unchecked_.clear();
    confirming_.clear();
    for (const TargetReport& target : report.targets) {
        if (target.confirming)
            confirming_ << target.described();
        else if (target.state == TargetReport::State::Down)
            down_ << target.described();
        else if (target.state == TargetReport::State::Unknown)
            unchecked_ << (target.reason.isEmpty() ? target.described()
                                                   : QStringLiteral("%1 (%2)").arg(target.described(), target.reason));
    }
    commandProblem_ = report.failureCommandProblem;
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
        return QStringLiteral("The last check ended at %1 and found nothing down.").arg(time_) + problems();
    case State::Red:
        break;
    }
    return QStringLiteral("The last check ended at %1. Down:\n").arg(time_) + down_.join(QLatin1Char('\n')) +
           problems();
}

QString LampStatus::problems() const
{
    // A target that could not be checked leaves the lamp as it is, but would otherwise pass for one that is up.
    QString text;
    if (!confirming_.isEmpty())
        text += QStringLiteral("\nChecking %1 again in about 20 s").arg(confirming_.join(QStringLiteral(", ")));
    if (!unchecked_.isEmpty())
        text += QStringLiteral("\nCould not be checked: ") + unchecked_.join(QStringLiteral(", "));
    if (!commandProblem_.isEmpty())
        text += QStringLiteral("\nThe failure command could not start: ") + commandProblem_;
    return text;
}

QString LampStatus::toolTip() const
{
    return name() + QLatin1Char('\n') + description();
}
