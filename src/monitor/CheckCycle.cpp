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
    // Spans are measured on the clock that only goes forward: the time of day may be set back during a cycle.
    const qint64 startedMs = platform_.monotonicMs();
    states_.fill(kStateUnchecked);
    uncounted_.fill(false);
    alarmed_.fill(false);
    noAddress_.fill(false);
    secondLookOnly_ = !wholeNext_ && confirmation_.anyToLookAgain();
    wholeNext_ = true;
    startedBy_ = xAsked_           ? CycleReport::StartedBy::X
                 : secondLookOnly_ ? CycleReport::StartedBy::SecondLook
                                   : CycleReport::StartedBy::Schedule;
    xAsked_ = false;
    rtts_.fill(std::nullopt);
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
    const CycleReport outcome = report(startedMs);
    known_.update(outcome);
    lamp_.cycleEnded(outcome);
    // After the report, which tells the system's log of the targets that went down: the events go
    // out in the order things happened.
    tellOfSecondLooks(outcome);
    tellOfFailureCommand();
    wholeNext_ = !confirmation_.anyToLookAgain();
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
    // Each target is judged by what it is now: the confirmation follows its text, not its place in the settings.
    const auto look = [this](TargetKind kind, int n) {
        const int index = targetIndex(kind, n);
        texts_[index] = fields_->targetText(kind, n);
        // In a cycle there for a second look only, a target down already was logged and alarmed by the cycle
        // before; only the targets this one confirms are.
        return confirmation_.counts(index, texts_[index]) &&
               (!secondLookOnly_ || confirmation_.confirms(index, texts_[index]));
    };
    for (TargetKind kind : {TargetKind::Device, TargetKind::Cam}) {
        for (int n = 1; n <= (kind == TargetKind::Device ? kDeviceCount : kCamCount); ++n) {
            const int index = targetIndex(kind, n);
            const bool alarms = look(kind, n);
            const bool noAddress = hostCheck_.check(kind, n, *fields_, states_[index], alarms);
            // Up only by this echo's answer (every state starts the cycle unchecked), so the reply is this target's.
            if (states_[index] == kStateUp)
                rtts_[index] = int(std::min<uint32_t>(hostCheck_.echoReply.RoundTripTime, 3'600'000));
            settle(index, texts_[index], noAddress);
        }
    }
    processCheck_.beginCycle();
    for (int n = 1; n <= kProcessCount; ++n) {
        const int index = targetIndex(TargetKind::Process, n);
        processCheck_.check(n, *fields_, states_[index], look(TargetKind::Process, n));
        settle(index, texts_[index], false);
    }
}

void CheckCycle::settle(int index, const QString& text, bool hostWithoutAddress)
{
    noAddress_[index] = hostWithoutAddress;
    if (states_[index] != kStateDown)
        return;
    // A target found down that does not count yet is left unchecked, as far as the lamp and the command go.
    if (!confirmation_.counts(index, text)) {
        uncounted_[index] = true;
        states_[index] = kStateUnchecked;
        return;
    }
    alarmed_[index] = !secondLookOnly_ || confirmation_.confirms(index, text);
}

CycleReport CheckCycle::report(qint64 startedMs) const
{
    CycleReport report;
    // Fields that cannot be read leave their targets off in the report; the cycle still ends.
    try {
        report = CycleReport::build(states_, *fields_);
    } catch (...) {
    }
    report.ended = platform_.now();
    report.durationMs = std::max<qint64>(0, platform_.monotonicMs() - startedMs);
    report.startedBy = startedBy_;
    report.red = lamp_.isPictureVisible(StatusLamp::Image2);
    if (!commandOutcome_.command.isEmpty() && !commandOutcome_.started)
        report.failureCommandProblem = QStringLiteral("%1 (%2)").arg(commandOutcome_.command, commandOutcome_.failure);
    for (int i = 0; i < kTargetCount; ++i) {
        TargetReport& target = report.targets[i];
        if (target.state == TargetReport::State::Up)
            target.rttMs = rtts_[i];
        if (uncounted_[i] && target.state != TargetReport::State::Off) {
            target.confirming = true;
            target.state = known_.lastKnown(i, target.text).value_or(TargetReport::State::Unknown);
        }
        if (noAddress_[i] && target.state == TargetReport::State::Unknown)
            target.reason = target.text.isEmpty() ? QStringLiteral("no address, so it is never checked")
                                                  : QStringLiteral("not an IPv4 address, so it is never checked");
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
    const QList<DownConfirmation::AnsweredAgain> answered =
        confirmation_.cycleEnded(down, up, off, texts_, platform_.monotonicMs());
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

void CheckCycle::startFailureCommand()
{
    if (!lamp_.isPictureVisible(StatusLamp::Image2))
        return;
    QStringList down;
    CycleReport layout;
    for (TargetReport& target : layout.targets) {
        const int index = targetIndex(target.kind, target.number);
        if (states_[index] == kStateDown && alarmed_[index]) {
            target.text = texts_[index];
            down << target.described();
        }
    }
    // Once per cycle however many are down; a cycle there for a second look that confirmed none starts nothing.
    if (down.isEmpty())
        return;
    commandOutcome_ =
        FailureCommand::start(platform_, fields_->failureCommand(), down, log_.logFilePath(), platform_.now());
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
