#include "outcome/CommandLine.h"

#include "outcome/StatusCheck.h"
#include "outcome/StatusFile.h"
#include "platform/ConsoleOutput.h"

namespace {

const QString kHelp =
    QStringLiteral("Usage: pylvane [--status | --help | --version]\n"
                   "Pylvane checks network devices, IP cameras and running programs about every 17 minutes and\n"
                   "shows which are down. Without an option it starts its windows.\n"
                   "\n"
                   "  --status   print the outcome of the last check in one line, as monitoring plugins do, and\n"
                   "             exit with 0 (OK: nothing down), 2 (CRITICAL: something down) or 3 (UNKNOWN:\n"
                   "             no recent check)\n"
                   "  --help     show this help and exit\n"
                   "  --version  show the version and exit\n");

// The command line the system restarts the program with after an installer closed it.
const QString kWorkingDirectory = QStringLiteral("--working-directory");

} // namespace

std::optional<int> CommandLine::run(const QStringList& arguments)
{
    if (arguments.size() <= 1 || (arguments.size() == 3 && arguments.at(1) == kWorkingDirectory))
        return std::nullopt;
    const QString option = arguments.at(1);
    if (arguments.size() == 2 && option == QStringLiteral("--status")) {
        const StatusCheck::Result result =
            StatusCheck::evaluate(StatusFile::read(StatusFile::defaultFolder()), QDateTime::currentDateTime());
        ConsoleOutput::write(result.line + QLatin1Char('\n'));
        return result.code;
    }
    if (arguments.size() == 2 && option == QStringLiteral("--help")) {
        ConsoleOutput::write(kHelp);
        return 0;
    }
    if (arguments.size() == 2 && option == QStringLiteral("--version")) {
        ConsoleOutput::write(QStringLiteral("pylvane " PYLVANE_VERSION "\n"));
        return 0;
    }
    const QString what = arguments.size() == 2 || !option.startsWith(QLatin1Char('-'))
                             ? QStringLiteral("unknown option '%1'").arg(option)
                             : QStringLiteral("unexpected arguments after '%1'").arg(option);
    ConsoleOutput::write(QStringLiteral("pylvane: %1; try 'pylvane --help'\n").arg(what), ConsoleOutput::Error);
    return 2;
}
