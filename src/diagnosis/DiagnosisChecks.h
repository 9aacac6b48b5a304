#pragma once

#include "diagnosis/CheckResult.h"
#include "diagnosis/DiagnosisSystem.h"

#include <QDateTime>
#include <QString>

class SettingsStore;

// The checks of `pylvane --diagnose` that read files and ask the probes, one function each. None
// waits longer than its own limit, none changes anything but the one event the system log gets,
// and none puts a target's address, a process name or a settings value into its finding. Folders are given as
// "~/…" or by their kind (PrivateNames).
namespace DiagnosisChecks {

CheckResult program();
CheckResult echo();
CheckResult processLookup();
CheckResult settings();
// The settings the diagnosis looks at (see DiagnosisScope): the file given, read once, or the user's own.
SettingsStore scopeSettings();
// The same check of the settings `store` reads, found at `place`: the service's file, given with --config.
CheckResult settingsOf(const DiagnosisSystem::SettingsPlace& place, const SettingsStore& store);
CheckResult log();
CheckResult logViewer();
CheckResult statusFile();
CheckResult metrics();
CheckResult history();

// "4 s", "12 min", "3 h", "2 days"
QString ageText(qint64 seconds);

// What the checks share.
CheckResult named(const char* id, const char* name);
// "a, b, c" naming at most `most`, then "and N more".
QString fewOf(const QStringList& items, int most = 10);
// The remedy for what stands in the way: under sudo, what is the invoking user's own is not to be removed.
QString removeRemedy(const QString& path, const QString& remedy);

} // namespace DiagnosisChecks
