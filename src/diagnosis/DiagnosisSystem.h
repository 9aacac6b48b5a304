#pragma once

#include "diagnosis/CheckResult.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the checks of `pylvane --diagnose` ask of this operating system, in DiagnosisPosix.cpp and
// DiagnosisWindows.cpp.
namespace DiagnosisSystem {

// Whether there is a display to ask about the tray; may choose the platform Qt then starts on.
bool prepareDisplay();

// "Debian package", "make install", "MSI installer", "build folder or portable"
QString installKind(const QString& executable);

// How echo goes out ("unprivileged ICMP socket"); empty when it cannot.
QString echoWay();

// The number of processes in the system's table; nothing when it cannot be read.
std::optional<int> processCount();
// Whether a process with the image name `name` runs, from the process table alone.
std::optional<bool> tableHasImage(const QString& name);
// The management service's line (WMI); not applicable where there is none.
CheckResult managementService();

struct SettingsPlace {
    QString shown;            // the file or registry key
    enum State { Read, Missing, Refused } state = Missing;
    QStringList damaged;      // value names of lines that could not be read, or "line N"
};
SettingsPlace settingsPlace();

// Why the cycle would refuse the file at `path` (a link, a folder, another user's file); empty when it
// is a regular file of the user's own with one name, or missing.
QString fileRefusal(const QString& path);
// Whether users other than the owner may write into `folder`; nothing where that is not known.
std::optional<bool> writableByOthers(const QString& folder);

CheckResult systemLog();
CheckResult autostart();

} // namespace DiagnosisSystem
