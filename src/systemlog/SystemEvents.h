#pragma once

#include "systemlog/SystemEvent.h"

#include <QString>

#include <memory>

// What Pylvane tells the system's own log, which administrators gather from many machines: targets
// going down and coming back, and Pylvane's own failures, which the window does not show. One call
// per kind of event; each makes the sentence and hands the event to report(). Reporting never
// waits and never fails towards the caller: an event the log cannot take at once is dropped.
class SystemEvents {
public:
    virtual ~SystemEvents() = default;

    // The system's log of this machine: the journal (or syslog where there is none) on Linux, the
    // Application event log on Windows.
    static std::unique_ptr<SystemEvents> forThisSystem();

    // `kind` is "device", "camera" or "process"; `name` the target's name in the plain log, "Cam3";
    // `text` what its field holds.
    void targetDown(const QString& kind, const QString& name, const QString& text);
    void targetBackUp(const QString& kind, const QString& name, const QString& text);
    // Found down by one cycle and up by the one that looked again `seconds` later: a missed echo, no alarm.
    void targetAnsweredAgain(const QString& kind, const QString& name, const QString& text, int seconds);
    void failureCommandStarted(const QString& command);
    void failureCommandFailed(const QString& command, const QString& reason);
    // An entry line of the plain log that could not go into `logFile` now and waits; later it went in.
    void entryKeptAside(const QString& logFile, const QString& entry);
    void keptEntryWentIn(const QString& logFile, const QString& entry);
    void settingsNotSaved(const QString& location);
    void started(const QString& version);
    void ended(const QString& version);
    // The metrics file could not be written into `folder`, and later could again.
    void metricsNotWritten(const QString& folder, const QString& reason);
    void metricsWrittenAgain(const QString& folder);
    // `pylvane --diagnose` checks that the log takes an event.
    void diagnosis(const QString& version);
    // The session bus did not answer within `seconds` at the start, so this run goes without it.
    void startedWithoutSessionBus(const QString& version, int seconds);
    // The history of checks met a fault (a planted file, a damaged or locked database, a full disk); each kind is
    // told once until it clears. No cycle, log entry or lamp waits on it.
    void historyProblem(const QString& text);
    // A reload of the settings in `location` (SIGHUP, without a desktop) was refused, and why; the old ones stay.
    void settingsNotReloaded(const QString& location, const QString& reason);
    // The run before this one did not end in order: killed, or stopped by the service manager's watchdog.
    void startedAfterUnorderlyEnd(const QString& version, qint64 pid, const QString& started);

    // Turns the call into its event: the sentence, and its parts in message-table order.
    static SystemEvent targetEvent(SystemEventKind kind, const QString& targetKind, const QString& name,
                                   const QString& text);
    static SystemEvent plainEvent(SystemEventKind kind, const QStringList& strings);

protected:
    virtual void report(const SystemEvent& event) = 0;
};
