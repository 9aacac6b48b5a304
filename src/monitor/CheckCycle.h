#pragma once

#include "monitor/CycleReport.h"
#include "monitor/DownConfirmation.h"
#include "monitor/FailureCommand.h"
#include "monitor/ReportChanges.h"
#include "monitor/HostTargetCheck.h"
#include "monitor/ProcessTargetCheck.h"
#include "monitor/StatusLamp.h"
#include "monitor/TargetFields.h"
#include "monitor/Targets.h"

#include <QString>

#include <array>

class LogWriter;
class Platform;
class SystemEvents;
class QTimer;
class TargetProbes;

// One check cycle over the 35 targets, run by the cycle timer: lamp to grey, every state to "neu",
// Devices, Cams and Processes in order, the states folded into the lamp, the cycle's log entries
// written in one go, the failure command started when something is down, and the cycle timer disarmed.
class CheckCycle {
public:
    CheckCycle(StatusLamp& lamp, TargetProbes& probes, LogWriter& log, Platform& platform, QTimer& timer1);

    // The live fields; until set, every target is disabled and there is no failure command.
    void setFields(const TargetFields* fields);
    // Hears whether the failure command started; until set, no one does.
    void setSystemEvents(SystemEvents* events) { events_ = events; }
    // "Check twice before an alarm" (see DownConfirmation); off until set. A target found down that does not
    // count yet writes no entry, leaves the lamp and the failure command alone, and is reported as confirming.
    // The cycle that follows one that left a target to look at again is there for that look only: it logs, and
    // starts the failure command for, the targets it confirms, and not again those that were down already.
    void setConfirmDown(bool on) { confirmation_.setEnabled(on); }
    bool confirmDown() const { return confirmation_.enabled(); }
    // "X" asks for a cycle of its own: the next one logs and alarms all it finds down, second look or not.
    void wholeCycleAsked()
    {
        wholeNext_ = true;
        xAsked_ = true;
    }

    // Handler of the cycle timer. Never throws; always ends with the timer disarmed.
    void run();

    // The program file a failure command's text names (see FailureCommand).
    static QString commandFile(const QString& text) { return FailureCommand::commandFile(text); }

    const QString& state(TargetKind kind, int number) const { return states_[targetIndex(kind, number)]; }

    // Pass counter that gates the body of each cycle.
    QString t = QStringLiteral("1");

private:
    bool passCounterAllowsBody();
    void checkAllTargets();
    void settle(int index, const QString& text, bool hostWithoutAddress);
    CycleReport report(qint64 startedMs) const;
    void tellOfSecondLooks(const CycleReport& report);
    void showOutcome();
    void startFailureCommand();
    void tellOfFailureCommand();

    StatusLamp& lamp_;
    LogWriter& log_;
    Platform& platform_;
    QTimer& timer1_;
    NoTargetFields noFields_;
    const TargetFields* fields_ = &noFields_;
    HostTargetCheck hostCheck_;
    ProcessTargetCheck processCheck_;
    std::array<QString, kTargetCount> states_;
    SystemEvents* events_ = nullptr;
    DownConfirmation confirmation_;
    std::array<bool, kTargetCount> uncounted_{}; // found down by this cycle, not counted yet
    std::array<bool, kTargetCount> alarmed_{};   // found down by this cycle, logged and told to the failure command
    std::array<bool, kTargetCount> noAddress_{}; // a device or camera whose text no echo can go to
    std::array<QString, kTargetCount> texts_;    // each target's text as this cycle found it
    bool wholeNext_ = true;                      // the next cycle is not one for a second look only
    bool secondLookOnly_ = false;                // this cycle is
    bool xAsked_ = false;                        // "X" asked for the next cycle
    CycleReport::StartedBy startedBy_ = CycleReport::StartedBy::Schedule;
    std::array<std::optional<int>, kTargetCount> rtts_{}; // each echo's round trip this cycle, where it came back
    // What was last known of each target, for one found down that does not count yet.
    ReportChanges known_;
    // This cycle's failure command, as started or refused; told after the cycle's report.
    FailureCommand::Outcome commandOutcome_;
};
