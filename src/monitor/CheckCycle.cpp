#include "monitor/CheckCycle.h"

#include "eventlog/LogWriter.h"
#include "monitor/TextNumber.h"
#include "platform/Platform.h"
#include "systemlog/SystemEvents.h"

#include <QTimer>

#include <algorithm>

CheckCycle::CheckCycle(StatusLamp& lamp, TargetProbes& probes, LogWriter& log, Platform& platform, QTimer& timer1)
    : lamp_(lamp), log_(log), platform_(platform), timer1_(timer1), hostCheck_(probes, log), processCheck_(probes, log)
{
    states_.fill(kStateUnchecked);
}

void CheckCycle::setFields(const TargetFields* fields)
{
    fields_ = fields ? fields : &noFields_;
}

void CheckCycle::run()
{
    lamp_.setPictureVisible(StatusLamp::Image1, false);
    lamp_.setPictureVisible(StatusLamp::Image2, false);
    lamp_.setPictureVisible(StatusLamp::Image3, true);
    lamp_.cycleStarted();
    const QDateTime started = QDateTime::currentDateTime();
    states_.fill(kStateUnchecked);
    uncounted_.fill(false);
    // Each entry found is kept aside at once, and all go into the log together after the probes:
    // one rewrite of a long log per cycle rather than one per target.
    log_.holdEntries();

    // Nothing may escape a timer handler: whatever goes wrong, the lamp ends green or red, the
    // failure command is considered and the cycle timer is disarmed.
    try {
        if (passCounterAllowsBody())
            checkAllTargets();
    } catch (...) {
    }
    try {
        showOutcome();
    } catch (...) {
    }
    // Before the failure command, which may read the log; this also brings in an entry that could
    // not go in earlier, which would otherwise wait until another target goes down.
    try {
        log_.writeQueuedEntries();
    } catch (...) {
    }
    commandOutcome_ = {};
    try {
        startFailureCommand();
    } catch (...) {
    }
    // Disarmed before the report, which says how long it is to the next cycle: an armed timer would
    // count as the next cycle, seconds away.
    timer1_.stop();
    const CycleReport outcome = report(started);
    known_.update(outcome);
    lamp_.cycleEnded(outcome);
    // After the report, which tells the system's log of the targets that went down: the events go
    // out in the order things happened.
    tellOfSecondLooks(outcome);
    tellOfFailureCommand();
}

bool CheckCycle::passCounterAllowsBody()
{
    t = numberToText(textToNumber(t).value_or(1) + 1);
    if (textToNumber(t).value_or(2) >= 2) {
        t = QStringLiteral("1");
        return true;
    }
    return false;
}

void CheckCycle::checkAllTargets()
{
    // A target found down that does not count yet is left unchecked, as far as the lamp and the command go.
    const auto settle = [this](int index, bool counts) {
        if (!counts && states_[index] == kStateDown) {
            uncounted_[index] = true;
            states_[index] = kStateUnchecked;
        }
    };
    for (TargetKind kind : {TargetKind::Device, TargetKind::Cam}) {
        for (int n = 1; n <= (kind == TargetKind::Device ? kDeviceCount : kCamCount); ++n) {
            const int index = targetIndex(kind, n);
            const bool counts = confirmation_.counts(index);
            hostCheck_.check(kind, n, *fields_, states_[index], counts);
            settle(index, counts);
        }
    }
    processCheck_.beginCycle();
    for (int n = 1; n <= kProcessCount; ++n) {
        const int index = targetIndex(TargetKind::Process, n);
        const bool counts = confirmation_.counts(index);
        processCheck_.check(n, *fields_, states_[index], counts);
        settle(index, counts);
    }
}

CycleReport CheckCycle::report(const QDateTime& started) const
{
    CycleReport report;
    // Fields that cannot be read leave their targets off in the report; the cycle still ends.
    try {
        report = CycleReport::build(states_, *fields_);
    } catch (...) {
    }
    report.ended = QDateTime::currentDateTime();
    report.durationMs = started.msecsTo(report.ended);
    report.red = lamp_.isPictureVisible(StatusLamp::Image2);
    if (!commandOutcome_.command.isEmpty() && !commandOutcome_.started)
        report.failureCommandProblem = QStringLiteral("%1 (%2)").arg(commandOutcome_.command, commandOutcome_.failure);
    for (int i = 0; i < kTargetCount; ++i) {
        TargetReport& target = report.targets[i];
        if (uncounted_[i] && target.state != TargetReport::State::Off) {
            target.confirming = true;
            target.state = known_.lastKnown(i).value_or(TargetReport::State::Unknown);
        }
    }
    return report;
}

void CheckCycle::tellOfSecondLooks(const CycleReport& report)
{
    std::array<bool, kTargetCount> down{};
    std::array<bool, kTargetCount> up{};
    std::array<bool, kTargetCount> off{};
    for (int i = 0; i < kTargetCount; ++i) {
        down[i] = states_[i] == kStateDown || uncounted_[i];
        up[i] = states_[i] == kStateUp;
        off[i] = report.targets[i].state == TargetReport::State::Off;
    }
    const QList<DownConfirmation::AnsweredAgain> answered = confirmation_.cycleEnded(down, up, off, report.ended);
    if (events_ == nullptr)
        return;
    for (const DownConfirmation::AnsweredAgain& again : answered) {
        const TargetReport& target = report.targets[again.index];
        events_->targetAnsweredAgain(kindName(target.kind), target.logName(), target.text, again.seconds);
    }
}

void CheckCycle::showOutcome()
{
    const auto any = [this](auto predicate) { return std::any_of(states_.begin(), states_.end(), predicate); };
    if (any([](const QString& s) { return s == kStateUp || s == kStateUnchecked; })) {
        lamp_.setPictureVisible(StatusLamp::Image1, true);
        lamp_.setPictureVisible(StatusLamp::Image2, false);
        lamp_.setPictureVisible(StatusLamp::Image3, false);
    }
    if (any([](const QString& s) { return s == kStateDown; })) {
        lamp_.setPictureVisible(StatusLamp::Image2, true);
        lamp_.setPictureVisible(StatusLamp::Image1, false);
        lamp_.setPictureVisible(StatusLamp::Image3, false);
    }
}

QString CheckCycle::commandFile(const QString& text)
{
    if (text.size() > 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')) &&
        text.count(QLatin1Char('"')) == 2)
        return text.mid(1, text.size() - 2);
    return text;
}

void CheckCycle::startFailureCommand()
{
    if (!lamp_.isPictureVisible(StatusLamp::Image2))
        return;
    // The whole text is one program file, started directly with no arguments and never through a
    // shell; a file that exists but cannot be started is passed over quietly.
    const QString command = commandFile(fields_->failureCommand());
    if (command.isEmpty())
        return;
    commandOutcome_.command = command;
    if (!platform_.fileExists(command, Platform::FileMask::OrdinaryOnly)) {
        commandOutcome_.failure = QStringLiteral("no such file");
        return;
    }
    // The program is told what is down, as service monitors tell the programs they start.
    QStringList down;
    CycleReport layout;
    for (TargetReport& target : layout.targets) {
        if (states_[targetIndex(target.kind, target.number)] == kStateDown) {
            target.text = fields_->targetText(target.kind, target.number);
            down << target.described();
        }
    }
    const QDateTime now = QDateTime::currentDateTime();
    const Platform::Environment environment{
        {QStringLiteral("PYLVANE_DOWN_COUNT"), QString::number(down.size())},
        {QStringLiteral("PYLVANE_DOWN"), down.join(QLatin1Char('\n'))},
        {QStringLiteral("PYLVANE_LOG"), log_.logFilePath()},
        {QStringLiteral("PYLVANE_CYCLE_END"), now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate)},
    };
    commandOutcome_.started = platform_.startProgram(command, environment);
    if (!commandOutcome_.started)
        commandOutcome_.failure = QStringLiteral("the file could not be started");
}

void CheckCycle::tellOfFailureCommand()
{
    if (events_ == nullptr || commandOutcome_.command.isEmpty())
        return;
    if (commandOutcome_.started)
        events_->failureCommandStarted(commandOutcome_.command);
    else
        events_->failureCommandFailed(commandOutcome_.command, commandOutcome_.failure);
}
