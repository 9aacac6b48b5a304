#include "ui/CommandLine.h"

#include "diagnosis/DesktopPart.h"
#include "diagnosis/Diagnosis.h"
#include "history/HistoryCommand.h"
#include "metrics/MetricsWriter.h"
#include "outcome/StatusCheck.h"
#include "outcome/StatusFile.h"
#include "platform/ConsoleOutput.h"
#include "platform/WorkingDirectory.h"
#include "service/ServiceCommands.h"
#include "service/StateFolder.h"
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

int status(const QString& stateFolder)
{
    QString refused;
    const std::optional<QByteArray> bytes = ServiceCommands::readStatus(stateFolder, &refused);
    const StatusCheck::Result result = StatusCheck::evaluate(bytes, QDateTime::currentDateTime(), refused);
    ConsoleOutput::write(result.line + QLatin1Char('\n'));
    return result.code;
}

int history(const QCommandLineParser& parser, HistoryCommand::Form form, const QString& days, const QString& stateDir)
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
    // Root asking for a state folder by name asks for a service's, which runs as a user of its own.
    options.serviceForRoot = !stateDir.isEmpty() || !qEnvironmentVariableIsEmpty("PYLVANE_STATE_DIR") ||
                             !qEnvironmentVariableIsEmpty("STATE_DIRECTORY");
    QString out;
    QString error;
    const int code = HistoryCommand::run(
        StateFolder::resolved(StateFolder::chosen(stateDir, StateFolder::For::Asking)), options, out, error,
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

std::optional<int> CommandLine::run(int argc, char* argv[], RunOptions* options)
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
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without a desktop, as a service does: the checks, the log, the status file, the system "
                       "log and the metrics, with no window, tray or notice and no display or session bus needed. "
                       "SIGHUP reads the settings again, SIGUSR1 checks now. With --diagnose: diagnose such a run."));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("With --headless, --diagnose or --check-config: read the settings from <file>, an INI file "
                       "with the keys of the per-user one (the system service's is /etc/pylvane/pylvane.conf)."),
        QStringLiteral("file"));
    const QCommandLineOption stateDir(
        QStringLiteral("state-dir"),
        QStringLiteral("With --headless, --status, --check-now, --diagnose or --history: the folder of status.json "
                       "and the run's other state (by default $STATE_DIRECTORY under systemd; for --status, "
                       "--check-now and --history also $PYLVANE_STATE_DIR)."),
        QStringLiteral("folder"));
    const QCommandLineOption checkConfig(
        QStringLiteral("check-config"),
        QStringLiteral("Check a settings file (the one named after the option, the one given with --config, or your "
                       "own): each line that cannot be read, the targets enabled by kind, a failure command that is no "
                       "program file. Exit with 0 (fine), 1 (warnings) or 2 (unusable: the file cannot be read, or a "
                       "line cannot)."));
    const QCommandLineOption checkNow(
        QStringLiteral("check-now"),
        QStringLiteral("Ask the running Pylvane (yours, or with --state-dir the service's) to check at once, as "
                       "\"X\" in the settings window does. Exit with 0 when asked, 1 when none runs."));
    // Given by the system when it restarts the program after an installer closed it; not for users.
    QCommandLineOption workingDirectory(kWorkingDirectoryArgument.mid(2), QString(), QStringLiteral("folder"));
    workingDirectory.setFlags(QCommandLineOption::HiddenFromHelp);
    for (const QCommandLineOption& option :
         {statusOption, diagnose, json, historyOption, outages, csv, days, checkConfig, checkNow, headless, config,
          stateDir, registerSource, unregisterSource, workingDirectory})
        parser.addOption(option);

    if (!parser.parse(arguments)) {
        ConsoleOutput::write(kRefusal.arg(parser.errorText().chopped(parser.errorText().endsWith('.') ? 1 : 0)),
                             ConsoleOutput::Error);
        return kBadCommandLine;
    }
    // The options that say how a job or a run goes, rather than being one; --headless is one of them beside
    // --diagnose. Each goes only with the jobs it names.
    QStringList jobs = parser.optionNames();
    for (const QCommandLineOption* modifier : {&json, &config, &stateDir})
        jobs.removeAll(modifier->names().constFirst());
    if (parser.isSet(diagnose))
        jobs.removeAll(headless.names().constFirst());
    // --history takes one form (--outages, --csv or --json) and --days.
    int forms = 0;
    for (const QCommandLineOption* form : {&outages, &csv, &json})
        forms += parser.isSet(*form) ? 1 : 0;
    const bool historyWith = parser.isSet(outages) || parser.isSet(csv) || parser.isSet(days);
    for (const QCommandLineOption* modifier : {&outages, &csv, &days})
        jobs.removeAll(modifier->names().constFirst());
    const QString job = jobs.value(0);
    const auto goesWith = [&job](const QCommandLineOption& option) { return option.names().contains(job); };
    QString what;
    if (!parser.positionalArguments().isEmpty() &&
        (!parser.isSet(checkConfig) || parser.positionalArguments().size() > 1 || parser.isSet(config)))
        what = parser.isSet(checkConfig) && parser.positionalArguments().size() == 1
                   ? QStringLiteral("--check-config takes one file")
                   : QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().last());
    else if (jobs.size() > 1 || (parser.isSet(historyOption) && forms > 1))
        what = QStringLiteral("one option at a time");
    else if (historyWith && !parser.isSet(historyOption))
        what = QStringLiteral("--outages, --csv and --days go with --history");
    else if (parser.isSet(json) && !parser.isSet(diagnose) && !parser.isSet(historyOption))
        what = QStringLiteral("--json goes with --diagnose or --history");
    else if (parser.isSet(config) && !(goesWith(headless) || goesWith(diagnose) || goesWith(checkConfig)))
        what = QStringLiteral("--config goes with --headless, --diagnose or --check-config");
    else if (parser.isSet(stateDir) && !(goesWith(headless) || goesWith(statusOption) || goesWith(checkNow) ||
                                         goesWith(diagnose) || goesWith(historyOption)))
        what = QStringLiteral("--state-dir goes with --headless, --status, --check-now, --diagnose or --history");
    else if ((parser.isSet(config) && parser.value(config).isEmpty()) ||
             (parser.isSet(stateDir) && parser.value(stateDir).isEmpty()))
        what = QStringLiteral("an empty file or folder name");
    if (!what.isEmpty()) {
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
        return status(parser.value(stateDir));
    if (parser.isSet(historyOption))
        return history(parser,
                       parser.isSet(outages) ? HistoryCommand::Outages
                       : parser.isSet(csv)   ? HistoryCommand::Csv
                       : parser.isSet(json)  ? HistoryCommand::Json
                                             : HistoryCommand::Summary,
                       days.names().constFirst(), parser.value(stateDir));
    if (parser.isSet(checkConfig))
        return ServiceCommands::checkConfig(
            parser.positionalArguments().isEmpty() ? parser.value(config) : parser.positionalArguments().constFirst());
    if (parser.isSet(checkNow))
        return ServiceCommands::checkNow(parser.value(stateDir));
    if (parser.isSet(diagnose)) {
        // The diagnosis of the service's run: its settings file and state folder, and no desktop to look at.
        ServiceCommands::prepareDiagnosis(parser.isSet(headless), parser.value(config), parser.value(stateDir));
        return Diagnosis::run(argc, argv, parser.isSet(json));
    }
    if (parser.isSet(registerSource))
        return adminCommand(AdminCommand::registerSource());
    if (parser.isSet(unregisterSource))
        return adminCommand(AdminCommand::unregisterSource());
    if (options != nullptr)
        *options = {parser.isSet(headless), parser.value(config), parser.value(stateDir)};
    return std::nullopt;
}
