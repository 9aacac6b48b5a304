#pragma once

#include <QString>
#include <QStringList>

// The kinds of event that Pylvane leaves in the system's own log, each with a fixed identity there:
// a journal MESSAGE_ID on Linux, an event ID of the message table in pylvane.exe on Windows.
enum class SystemEventKind {
    TargetDown,
    TargetBackUp,
    FailureCommandStarted,
    FailureCommandFailed,
    EntryKeptAside,
    KeptEntryWentIn,
    SettingsNotSaved,
    Started,
    Ended,
    MetricsNotWritten,
    MetricsWrittenAgain,
    TargetAnsweredAgain,
    Diagnosis,
    StartedWithoutSessionBus,
    HistoryProblem,
    SettingsNotReloaded,
    StartedAfterUnorderlyEnd, // the last kind: the Windows event IDs follow this order
};

// One event as every system log gets it. `message` is the whole sentence; `strings` are the parts
// the sentence is made of, in the order the Windows message table inserts them (%1, %2, ...).
struct SystemEvent {
    SystemEventKind kind = SystemEventKind::Started;
    QString message;
    QStringList strings;
    // Set for the events of a target only.
    QString targetName; // the log's name, "Cam3"
    QString targetKind; // "device", "camera" or "process"
    QString targetText; // what the target's field holds, whatever it holds
    bool hasTarget() const { return !targetName.isEmpty(); }
};

// syslog's severities: 3 error, 4 warning, 5 notice, 6 information.
int priorityOf(SystemEventKind kind);
// The journal's MESSAGE_ID: 32 lowercase hex digits, fixed for good once an event kind exists.
const char* messageIdOf(SystemEventKind kind);
// The event ID in pylvane.exe's message table (resources/windows/pylvane-events.mc).
unsigned eventIdOf(SystemEventKind kind);
