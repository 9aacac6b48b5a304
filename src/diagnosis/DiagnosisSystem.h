#pragma once

#include "diagnosis/CheckResult.h"
#include "diagnosis/PrivateNames.h"
#include "metrics/MetricsFile.h"

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
    QList<int> damagedLines;  // their line numbers, from 1
    QStringList unreadable;   // value names whose data is neither text nor a number, so the load takes none
    QString note;             // what else the user should know of the place, such as an unset HOME
};
SettingsPlace settingsPlace();
// The place of an INI file's text, `bytes` as read once from it, shown as `shown`.
SettingsPlace iniSettingsPlace(const QString& shown, const QByteArray& bytes, SettingsPlace::State state);

// Why the cycle would refuse the file at `path` (a link, a folder, another user's file); empty when it
// is a regular file of the user's own with one name, or missing.
QString fileRefusal(const QString& path);
// Whether users other than the owner may write into `folder`; nothing where that is not known.
std::optional<bool> writableByOthers(const QString& folder);

// The home folders, user names and host names of this process, its user and the user who ran sudo.
PrivateNames::Found privateNames();
// What kind of folder `folder` is, without its path: "a folder of yours", "a shared folder with its sticky
// bit", "a system folder", "another user's folder".
QString folderKind(const QString& folder);
// Whether `path` is the user's who ran sudo: root is not to remove it, and it is not root's to use.
bool sudoUserOwns(const QString& path);

// What the metrics writer meets in `folder`, by its own rules: the folder followed through a link, its own
// temporary file made new, and a rename over pylvane.prom, which replaces a link or a file but not a folder,
// and in a folder with the sticky bit not another user's name.
struct MetricsPlace {
    MetricsFile::Status status = MetricsFile::Status::Written; // Written when nothing stops the writer
    QString kind;                 // "a folder of yours, not writable by others"
    bool groupWritable = false;
    bool othersWritable = false;
    bool stickyBlocked = false;   // another user's name at pylvane.prom in a folder with the sticky bit
    qint64 age = -1;              // seconds since the writer's own pylvane.prom was written; -1 for none
    QString standing;             // what else stands at pylvane.prom, which the next write replaces
};
MetricsPlace metricsPlace(const QString& folder);

// The desktop's handler for text files, which "Open Log" starts through the system's opener.
struct TextHandler {
    bool opener = false;   // xdg-open, or Windows' shell
    QString name;          // the handler's name ("org.gnome.TextEditor.desktop", "notepad.exe"); empty for none
    bool runs = false;     // its program is there
    bool terminal = false; // it runs in a terminal window
};
TextHandler textHandler();
// The folders in which this user's running Pylvane programs write their log; empty where it cannot be told.
QStringList runningLogFolders();

CheckResult systemLog();
CheckResult autostart();

} // namespace DiagnosisSystem
