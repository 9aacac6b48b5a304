#include "systemlog/SystemEvents.h"

namespace {

// The sentence of each kind, with %1, %2... for its parts: the same texts as pylvane.exe's message
// table, so that every system log reads alike.
QString patternOf(SystemEventKind kind)
{
    switch (kind) {
    case SystemEventKind::TargetDown:
        return QStringLiteral("%1 %2 is down");
    case SystemEventKind::TargetBackUp:
        return QStringLiteral("%1 %2 is back up");
    case SystemEventKind::FailureCommandStarted:
        return QStringLiteral("Started the failure command %1");
    case SystemEventKind::FailureCommandFailed:
        return QStringLiteral("Could not start the failure command %1: %2");
    case SystemEventKind::EntryKeptAside:
        return QStringLiteral("A log entry could not go into %1 and is kept aside: %2");
    case SystemEventKind::KeptEntryWentIn:
        return QStringLiteral("A log entry kept aside went into %1: %2");
    case SystemEventKind::SettingsNotSaved:
        return QStringLiteral("The settings could not be saved to %1");
    case SystemEventKind::Started:
        return QStringLiteral("Pylvane %1 started");
    case SystemEventKind::Ended:
        return QStringLiteral("Pylvane %1 ended");
    case SystemEventKind::MetricsNotWritten:
        return QStringLiteral("The metrics could not be written to %1: %2");
    case SystemEventKind::MetricsWrittenAgain:
        return QStringLiteral("The metrics are written to %1 again");
    case SystemEventKind::TargetAnsweredAgain:
        return QStringLiteral("%1 %2 did not answer once; it answered %3 s later");
    case SystemEventKind::Diagnosis:
        return QStringLiteral("Pylvane %1 diagnosis: the system log takes Pylvane's events");
    case SystemEventKind::StartedWithoutSessionBus:
        return QStringLiteral("Pylvane %1 started without the session bus, which did not answer within %2 s: no "
                              "desktop notices and no accessibility bridge in this run; notices show in the tray");
    case SystemEventKind::HistoryProblem:
        return QStringLiteral("The history of checks: %1");
    case SystemEventKind::SettingsNotReloaded:
        return QStringLiteral("The settings in %1 were not read again: %2; the settings before stay in force");
    case SystemEventKind::StartedAfterUnorderlyEnd:
        return QStringLiteral("Pylvane %1 started again after the run before it (process %2, started %3) ended "
                              "without its orderly end");
    }
    return {};
}

// Replaces %1.. in one pass, so that a part holding "%2" stays as it is.
QString fill(const QString& pattern, const QStringList& strings)
{
    QString result;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1].isDigit()) {
            const qsizetype index = pattern[i + 1].digitValue() - 1;
            if (index >= 0 && index < strings.size())
                result += strings[index];
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

} // namespace

SystemEvent SystemEvents::plainEvent(SystemEventKind kind, const QStringList& strings)
{
    SystemEvent event;
    event.kind = kind;
    event.strings = strings;
    event.message = fill(patternOf(kind), strings);
    return event;
}

SystemEvent SystemEvents::targetEvent(SystemEventKind kind, const QString& targetKind, const QString& name,
                                      const QString& text)
{
    SystemEvent event = plainEvent(kind, {name, text});
    event.targetName = name;
    event.targetKind = targetKind;
    event.targetText = text;
    return event;
}

void SystemEvents::targetDown(const QString& kind, const QString& name, const QString& text)
{
    report(targetEvent(SystemEventKind::TargetDown, kind, name, text));
}

void SystemEvents::targetBackUp(const QString& kind, const QString& name, const QString& text)
{
    report(targetEvent(SystemEventKind::TargetBackUp, kind, name, text));
}

void SystemEvents::targetAnsweredAgain(const QString& kind, const QString& name, const QString& text, int seconds)
{
    SystemEvent event = targetEvent(SystemEventKind::TargetAnsweredAgain, kind, name, text);
    event.strings << QString::number(seconds);
    event.message = plainEvent(SystemEventKind::TargetAnsweredAgain, event.strings).message;
    report(event);
}

void SystemEvents::failureCommandStarted(const QString& command)
{
    report(plainEvent(SystemEventKind::FailureCommandStarted, {command}));
}

void SystemEvents::failureCommandFailed(const QString& command, const QString& reason)
{
    report(plainEvent(SystemEventKind::FailureCommandFailed, {command, reason}));
}

void SystemEvents::entryKeptAside(const QString& logFile, const QString& entry)
{
    report(plainEvent(SystemEventKind::EntryKeptAside, {logFile, entry}));
}

void SystemEvents::keptEntryWentIn(const QString& logFile, const QString& entry)
{
    report(plainEvent(SystemEventKind::KeptEntryWentIn, {logFile, entry}));
}

void SystemEvents::settingsNotSaved(const QString& location)
{
    report(plainEvent(SystemEventKind::SettingsNotSaved, {location}));
}

void SystemEvents::started(const QString& version)
{
    report(plainEvent(SystemEventKind::Started, {version}));
}

void SystemEvents::ended(const QString& version)
{
    report(plainEvent(SystemEventKind::Ended, {version}));
}

void SystemEvents::metricsNotWritten(const QString& folder, const QString& reason)
{
    report(plainEvent(SystemEventKind::MetricsNotWritten, {folder, reason}));
}

void SystemEvents::metricsWrittenAgain(const QString& folder)
{
    report(plainEvent(SystemEventKind::MetricsWrittenAgain, {folder}));
}

void SystemEvents::diagnosis(const QString& version)
{
    report(plainEvent(SystemEventKind::Diagnosis, {version}));
}

void SystemEvents::startedWithoutSessionBus(const QString& version, int seconds)
{
    report(plainEvent(SystemEventKind::StartedWithoutSessionBus, {version, QString::number(seconds)}));
}

void SystemEvents::historyProblem(const QString& text)
{
    report(plainEvent(SystemEventKind::HistoryProblem, {text}));
}

void SystemEvents::settingsNotReloaded(const QString& location, const QString& reason)
{
    report(plainEvent(SystemEventKind::SettingsNotReloaded, {location, reason}));
}

void SystemEvents::startedAfterUnorderlyEnd(const QString& version, qint64 pid, const QString& started)
{
    report(plainEvent(SystemEventKind::StartedAfterUnorderlyEnd,
                      {version, QString::number(pid), started.isEmpty() ? QStringLiteral("at a time not known") : started}));
}
