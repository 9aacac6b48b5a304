#include "platform/SystemEnd.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <windows.h>

namespace {

// The restart command line carries the working directory, where the log lies; the system starts
// the program again from a directory of its own.
const QString kWorkingDirectoryArgument = QStringLiteral("--working-directory");

class WindowsSystemEnd : public SystemEnd {};

void returnToClosedRunsDirectory()
{
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == kWorkingDirectoryArgument)
        QDir::setCurrent(arguments[2]);
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

std::unique_ptr<SystemEnd> SystemEnd::install()
{
    returnToClosedRunsDirectory();
    registerForRestart();
    return std::make_unique<WindowsSystemEnd>();
}
