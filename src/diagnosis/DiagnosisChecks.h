#pragma once

#include "diagnosis/CheckResult.h"

#include <QDateTime>
#include <QString>

// The checks of `pylvane --diagnose` that read files and ask the probes, one function each. None
// waits longer than its own limit, none changes anything but the one event the system log gets,
// and none puts a target's address, a process name or a settings value into its finding.
namespace DiagnosisChecks {

CheckResult program();
CheckResult echo();
CheckResult processLookup();
CheckResult settings();
CheckResult log();
CheckResult statusFile();
CheckResult metrics();

// "4 s", "12 min", "3 h", "2 days"
QString ageText(qint64 seconds);

} // namespace DiagnosisChecks
