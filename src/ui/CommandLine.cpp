#include "ui/CommandLine.h"

#include "diagnosis/DesktopPart.h"
#include "diagnosis/Diagnosis.h"
#include "history/HistoryCommand.h"
#include "metrics/MetricsWriter.h"
#include "outcome/StatusCheck.h"
#include "outcome/StatusFile.h"
#include "platform/ConsoleOutput.h"
#include "platform/WorkingDirectory.h"
#include "systemlog/AdminCommand.h"

#include <QCommandLineParser>
#include <QSysInfo>
#include <QTimeZone>

namespace {

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

const QString kRefusal = QStringLiteral("pylvane: %1; try 'pylvane --help'\n");
// A command line that cannot be understood: the usage error of sysexits.h, apart from every answer of a job (2 is a
// failure for --status and --diagnose, as monitoring plugins have it), so a script can tell a typing error from a
// target that is down.
constexpr int kBadCommandLine = 64;

int status()
{
    QString refused;
    const std::optional<QByteArray> bytes = StatusFile::read(StatusFile::defaultFolder(), &refused);
    const StatusCheck::Result result = StatusCheck::evaluate(bytes, QDateTime::currentDateTime(), refused);
    ConsoleOutput::write(result.line + QLatin1Char('\n'));
    return result.code;
}

int history(const QCommandLineParser& parser, HistoryCommand::Form form, const QString& days)
{
    HistoryCommand::Options options;
    options.form = form;
    if (parser.isSet(days)) {
        bool number = false;
        options.days = parser.value(days).toInt(&number);
        if (!number || options.days < 1) {
            ConsoleOutput::write(kRefusal.arg(QStringLiteral("--days takes a number of days from 1")),
                                 ConsoleOutput::Error);
            return kBadCommandLine;
        }
    }
    QString out;
    QString error;
    const int code = HistoryCommand::run(StatusFile::defaultFolder(), options, out, error,
                                         QDateTime::currentMSecsSinceEpoch(), QTimeZone::systemTimeZone());
    if (!out.isEmpty())
        ConsoleOutput::write(out);
    if (!error.isEmpty())
        ConsoleOutput::write(error, ConsoleOutput::Error);
    return code;
}

int adminCommand(AdminCommand::Result result)
{
    AdminCommand::print(result.message, !result.done);
    return result.done ? 0 : 1;
}

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

std::optional<int> CommandLine::run(int argc, char* argv[])
{
    QStringList all;
    for (int i = 0; i < argc; ++i)
        all << QString::fromLocal8Bit(argv[i]);
    const QStringList arguments = withoutQtOptions(all);
    // The metrics writer that a running Pylvane starts takes its reports on standard input, and nothing else.
    if (arguments.size() == 2 && arguments.at(1) == MetricsWriter::kOption) {
        AdminCommand::useBinaryInput();
        return MetricsWriter::runWriter();
    }
    // The diagnosis's look at the display and the session bus, in a process it can end at its deadline.
    if (arguments.size() == 3 && arguments.at(1) == DesktopPart::kOption)
        return DesktopPart::run(argc, argv, arguments.at(2));

    // Qt's own parser; its help and version are printed here rather than by showHelp() and showVersion(), which
    // show a message box in a Windows program without a console and end the program with exit codes of their own.
    const bool windows = QSysInfo::productType() == QLatin1String("windows");
    const QString onWindows = windows ? QString() : QStringLiteral(" (Windows only)");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Pylvane checks network devices, IP cameras and running programs about every 17 minutes and shows which are\n"
        "down. Without an option it starts its windows."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption statusOption(
        QStringLiteral("status"),
        QStringLiteral(
            "Print the outcome of the last check in one line, as monitoring plugins do, and exit with 0 (OK: "
            "nothing down), 2 (CRITICAL: something down) or 3 (UNKNOWN: no recent check, or a target that "
            "could not be checked)."));
    const QCommandLineOption diagnose(
        QStringLiteral("diagnose"),
        QStringLiteral("Check whether each service Pylvane relies on works here (echo, process lookup, settings, log, "
                       "desktop, system log, status file, metrics, start at sign-in) and print one line for each, to "
                       "paste into a bug report: no addresses, names or settings. Exit with 0 (all ok), 1 (warnings) "
                       "or 2 (a failure)."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With --diagnose or --history: print the report as one JSON document."));
    const QCommandLineOption historyOption(
        QStringLiteral("history"),
        QStringLiteral("Print one line per target from the history of its checks: uptime over 24 hours, 7, 30 and 90 "
                       "days with the checks counted, the number of outages and the last one. Reads while Pylvane "
                       "runs and needs no display. Exit with 0, or 3 when there is no history yet."));
    const QCommandLineOption outages(QStringLiteral("outages"),
                                     QStringLiteral("With --history: list the outages, newest first."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("With --history: print the checks as CSV (RFC 4180, UTF-8)."));
    const QCommandLineOption days(QStringLiteral("days"),
                                  QStringLiteral("With --history: go back <days> days for outages and checks (90 by "
                                                 "default)."),
                                  QStringLiteral("days"));
    const QCommandLineOption registerSource(QStringLiteral("register-event-source"),
                                            QStringLiteral("As an administrator: register this program as the event "
                                                           "log's source \"Pylvane\", so that Event Viewer shows its "
                                                           "events whole.") +
                                                onWindows);
    const QCommandLineOption unregisterSource(QStringLiteral("unregister-event-source"),
                                              QStringLiteral("As an administrator: remove that registration.") +
                                                  onWindows);
    // Given by the system when it restarts the program after an installer closed it; not for users.
    QCommandLineOption workingDirectory(kWorkingDirectoryArgument.mid(2), QString(), QStringLiteral("folder"));
    workingDirectory.setFlags(QCommandLineOption::HiddenFromHelp);
    for (const QCommandLineOption& option :
         {statusOption, diagnose, json, historyOption, outages, csv, days, registerSource, unregisterSource, workingDirectory})
        parser.addOption(option);

    if (!parser.parse(arguments)) {
        ConsoleOutput::write(kRefusal.arg(parser.errorText().chopped(parser.errorText().endsWith('.') ? 1 : 0)),
                             ConsoleOutput::Error);
        return kBadCommandLine;
    }
    QStringList jobs = parser.optionNames();
    if (parser.isSet(diagnose))
        jobs.removeAll(json.names().constFirst());
    // --history takes one form (--outages, --csv or --json) and --days.
    const QStringList historyForms = {outages.names().constFirst(), csv.names().constFirst(),
                                      json.names().constFirst()};
    const bool historyWith = parser.isSet(outages) || parser.isSet(csv) || parser.isSet(days) ||
                             (parser.isSet(json) && !parser.isSet(diagnose));
    int forms = 0;
    if (parser.isSet(historyOption)) {
        for (const QString& name : historyForms)
            forms += jobs.removeAll(name) > 0 ? 1 : 0;
        jobs.removeAll(days.names().constFirst());
    }
    if (!parser.positionalArguments().isEmpty() || jobs.size() > 1 || forms > 1 ||
        (historyWith && !parser.isSet(historyOption)) || (parser.isSet(json) && !parser.isSet(diagnose) && !parser.isSet(historyOption))) {
        const QString what = !parser.positionalArguments().isEmpty()
                                 ? QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first())
                             : jobs.size() > 1 || forms > 1 ? QStringLiteral("one option at a time")
                             : historyWith && !parser.isSet(json)
                                 ? QStringLiteral("--outages, --csv and --days go with --history")
                                 : QStringLiteral("--json goes with --diagnose or --history");
        ConsoleOutput::write(kRefusal.arg(what), ConsoleOutput::Error);
        return kBadCommandLine;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        ConsoleOutput::write(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("pylvane")) +
                             QStringLiteral("\nQt's own options (-platform, -session, -style, ...) are passed on to "
                                            "Qt.\nAn option that is not known, or options that do not go together, "
                                            "end the program with exit code %1.\n")
                                 .arg(kBadCommandLine));
        return 0;
    }
    if (parser.isSet(version)) {
        ConsoleOutput::write(QStringLiteral("pylvane " PYLVANE_VERSION "\n"));
        return 0;
    }
    if (parser.isSet(statusOption))
        return status();
    if (parser.isSet(historyOption))
        return history(parser,
                       parser.isSet(outages) ? HistoryCommand::Outages
                       : parser.isSet(csv)   ? HistoryCommand::Csv
                       : parser.isSet(json)  ? HistoryCommand::Json
                                             : HistoryCommand::Summary,
                       days.names().constFirst());
    if (parser.isSet(diagnose))
        return Diagnosis::run(argc, argv, parser.isSet(json));
    if (parser.isSet(registerSource))
        return adminCommand(AdminCommand::registerSource());
    if (parser.isSet(unregisterSource))
        return adminCommand(AdminCommand::unregisterSource());
    return std::nullopt;
}
