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
                   "             no recent check, or a target that could not be checked)\n"
                   "  --help     show this help and exit\n"
                   "  --version  show the version and exit\n");

// The command line the system restarts the program with after an installer closed it.
const QString kWorkingDirectory = QStringLiteral("--working-directory");

// Qt's own options, which QApplication takes off the command line itself: a session manager restores the program
// with "-session <id>", and "-platform offscreen" and the like must keep working. Qt takes each with one dash or
// two, and a value after "=" or as the next argument.
const QStringList kQtOptionsWithValue = {QStringLiteral("platform"),
                                         QStringLiteral("platformpluginpath"),
                                         QStringLiteral("platformtheme"),
                                         QStringLiteral("plugin"),
                                         QStringLiteral("qwindowgeometry"),
                                         QStringLiteral("geometry"),
                                         QStringLiteral("qwindowicon"),
                                         QStringLiteral("icon"),
                                         QStringLiteral("qwindowtitle"),
                                         QStringLiteral("title"),
                                         QStringLiteral("session"),
                                         QStringLiteral("display"),
                                         QStringLiteral("name"),
                                         QStringLiteral("style"),
                                         QStringLiteral("stylesheet"),
                                         QStringLiteral("qmljsdebugger"),
                                         QStringLiteral("dialogs"),
                                         QStringLiteral("visual"),
                                         QStringLiteral("ncols")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("nograb"),      QStringLiteral("dograb"),
                              QStringLiteral("sync"),    QStringLiteral("widgetcount"), QStringLiteral("testability"),
                              QStringLiteral("cmap")};

} // namespace

QStringList CommandLine::withoutQtOptions(const QStringList& arguments)
{
    QStringList own = arguments.mid(0, 1);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const qsizetype dashes = argument.startsWith(QStringLiteral("--")) ? 2 : argument.startsWith('-') ? 1 : 0;
        const QString name = argument.mid(dashes).section(QLatin1Char('='), 0, 0);
        if (dashes > 0 && kQtFlags.contains(name) && !argument.contains(QLatin1Char('=')))
            continue;
        if (dashes > 0 && kQtOptionsWithValue.contains(name)) {
            if (!argument.contains(QLatin1Char('=')))
                ++i;
            continue;
        }
        own << argument;
    }
    return own;
}

std::optional<int> CommandLine::run(const QStringList& allArguments)
{
    const QStringList arguments = withoutQtOptions(allArguments);
    if (arguments.size() <= 1 || (arguments.size() == 3 && arguments.at(1) == kWorkingDirectory))
        return std::nullopt;
    const QString option = arguments.at(1);
    if (arguments.size() == 2 && option == QStringLiteral("--status")) {
        QString refused;
        const std::optional<QByteArray> bytes = StatusFile::read(StatusFile::defaultFolder(), &refused);
        const StatusCheck::Result result = StatusCheck::evaluate(bytes, QDateTime::currentDateTime(), refused);
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
