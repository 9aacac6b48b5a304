#include "platform/SystemEnd.h"

#include "platform/WorkingDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>

#include <windows.h>

namespace {

class WindowsSystemEnd : public SystemEnd {};

// The restart command line carries the working directory, where the log lies; the system starts
// the program again from a directory of its own. Where that folder is gone, the program works in
// Documents, as its shortcuts start it.
void returnToClosedRunsDirectory()
{
    const QString problem = enterWorkingDirectory(QCoreApplication::arguments(),
                                                  QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (!problem.isEmpty())
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
}

// After a crash or a hang the program is not started again, nor after a restart of the system,
// whose start-up shortcut starts it anyway; only after an installer closed it.
void registerForRestart()
{
    QString directory = QDir::toNativeSeparators(QDir::currentPath());
    // A backslash before the closing quote would escape it.
    if (directory.endsWith(QLatin1Char('\\')))
        directory += QLatin1Char('\\');
    const QString commandLine = kWorkingDirectoryArgument + QStringLiteral(" \"") + directory + QLatin1Char('"');
    RegisterApplicationRestart(commandLine.toStdWString().c_str(),
                               RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
}

} // namespace

std::unique_ptr<SystemEnd> SystemEnd::install(bool)
{
    returnToClosedRunsDirectory();
    registerForRestart();
    return std::make_unique<WindowsSystemEnd>();
}
