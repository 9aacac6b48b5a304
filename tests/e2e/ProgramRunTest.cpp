// The built program, started as a user starts it, through its first check cycle: settings from the
// per-user file, real echoes and real process lookups, the log in the working directory and the
// failure command. It runs inside a network namespace of the test's own, so that a camera can be
// silent without any packet reaching the machine's network.
#include "history/SqliteConnection.h"
#include "support/GeneratedLocales.h"
#include "support/Emulation.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include <unistd.h>

namespace {

// The first cycle comes about 20 s after start; the rest is headroom for a sanitizer build starting
// slowly on a busy machine, still well inside the ctest timeout.
constexpr int kFirstCycleWaitMs = 80'000;

const QString kLogName = QStringLiteral("PylvaneLog.txt");
const QString kSilentCamAddress = QStringLiteral("10.77.0.2");

bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A quoted INI value, so that the text reaches the settings window exactly as written here.
QByteArray iniText(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return '"' + escaped.toUtf8() + '"';
}

// A day and its text in the short date format of the program's locale.
struct DayText {
    QDate date;
    QString text;
};

// Today with the text that `date +%x` prints in `environment`.
DayText today(const QProcessEnvironment& environment)
{
    QProcess date;
    date.setProcessEnvironment(environment);
    date.start(QStringLiteral("date"), {QStringLiteral("+%x")});
    const bool done = date.waitForFinished(10'000) && date.exitCode() == 0;
    return {QDate::currentDate(), done ? QString::fromUtf8(date.readAllStandardOutput()).trimmed() : QString()};
}

// The moment stamped into `line` when it reads prefix, date text, blank, "hh:mm:ss", suffix, with
// the date text one of `days`; nothing when it does not.
std::optional<QDateTime> stampOf(const QString& line, const QString& prefix, const QString& suffix,
                                 const QList<DayText>& days)
{
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(prefix) +
                                     QStringLiteral("(.+) ([01][0-9]|2[0-3]):([0-5][0-9]):([0-5][0-9])") +
                                     QRegularExpression::escape(suffix) + QLatin1Char('$'));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    for (const DayText& day : days) {
        if (!day.text.isEmpty() && match.captured(1) == day.text)
            return QDateTime(day.date,
                             QTime(match.captured(2).toInt(), match.captured(3).toInt(), match.captured(4).toInt()));
    }
    return std::nullopt;
}

// The lines of a file in which every line ends with CR LF; nothing when any line ends otherwise.
std::optional<QStringList> crLfLines(const QByteArray& bytes)
{
    if (!bytes.endsWith("\r\n"))
        return std::nullopt;
    QList<QByteArray> parts = bytes.split('\n');
    parts.removeLast();
    QStringList lines;
    for (QByteArray& part : parts) {
        if (!part.endsWith('\r'))
            return std::nullopt;
        part.chop(1);
        if (part.contains('\r'))
            return std::nullopt;
        lines << QString::fromLocal8Bit(part);
    }
    return lines;
}

QString timeText(const std::optional<QDateTime>& stamp)
{
    return stamp ? stamp->toString(Qt::ISODate) : QStringLiteral("(none)");
}

} // namespace

// Device 1 answers on loopback, Cam 1 is silent, Process 1 runs, Process 2 does not, and a disabled
// device and process point at targets that would be down: after the first cycle the log holds the
// camera and the missing process, newest first below a host header, and the failure command ran.
TEST(ProgramRun, FirstCycleLogsTheDownTargetsAndStartsTheFailureCommand)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program in a network namespace of its own (unshare -n)";

    TempDir configHome;
    TempDir workDir;
    TempDir tools;
    ASSERT_TRUE(configHome.isValid() && workDir.isValid() && tools.isValid());

    // Makes kSilentCamAddress a host that never answers inside the namespace.
    const QString namespaceScript = QStringLiteral(PYLVANE_SILENT_HOST_SCRIPT);
    {
        QProcess setup;
        setup.setProcessChannelMode(QProcess::MergedChannels);
        setup.start(QStringLiteral("unshare"),
                    {QStringLiteral("-n"), QStringLiteral("/bin/sh"), namespaceScript, QStringLiteral("true")});
        const bool done = setup.waitForFinished(30'000);
        if (!done || setup.exitStatus() != QProcess::NormalExit || setup.exitCode() != 0)
            GTEST_SKIP() << "cannot make a network namespace with a veth pair here: " << setup.readAll().toStdString()
                         << setup.errorString().toStdString();
    }

    // Names no other process has; longer than the kernel's 15-character process title, so only a
    // lookup by executable file name finds the running one.
    const qint64 pid = QCoreApplication::applicationPid();
    const QString aliveName = QStringLiteral("pylvane-e2e-alive-%1").arg(pid);
    const QString missingName = QStringLiteral("pylvane-e2e-missing-%1.exe").arg(pid);
    const QString alivePath = tools.path(aliveName);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), alivePath));
    QProcess alive;
    alive.start(alivePath, {QStringLiteral("600")});
    ASSERT_TRUE(alive.waitForStarted(10'000)) << alive.errorString().toStdString();

    const QString marker = tools.path(QStringLiteral("failure-command-ran"));
    const QString failureCommand = tools.path(QStringLiteral("on-failure.sh"));
    // It is told what is down, where the log is and when the cycle ended.
    ASSERT_TRUE(writeFile(
        failureCommand,
        "#!/bin/sh\nprintf 'ran\\n%s\\n%s\\n%s\\n%s\\n' \"$PYLVANE_DOWN_COUNT\" \"$PYLVANE_DOWN\" \"$PYLVANE_LOG\" "
        "\"$PYLVANE_CYCLE_END\" > " +
            iniText(marker) + "\n",
        true));

    ASSERT_TRUE(QDir(configHome.path()).mkpath(QStringLiteral("Pylvane")));
    const QString configFile = configHome.path(QStringLiteral("Pylvane/Pylvane.conf"));
    const QByteArray config = "[General]\n"
                              "a1=" +
                              iniText(failureCommand) +
                              "\n"
                              "e1=\"127.0.0.1\"\ne1b=\"1\"\n"
                              "e2=" +
                              iniText(kSilentCamAddress) +
                              "\ne2b=\"0\"\n"
                              "c1=" +
                              iniText(kSilentCamAddress) +
                              "\nc1b=\"1\"\n"
                              "d1=" +
                              iniText(aliveName) +
                              "\nd1b=\"1\"\n"
                              "d2=" +
                              iniText(missingName) +
                              "\nd2b=\"1\"\n"
                              "d3=" +
                              iniText(missingName) + "\nd3b=\"0\"\n" +
                              "MetricsFolder=" + iniText(configHome.path(QStringLiteral("metrics"))) + "\n";
    ASSERT_TRUE(writeFile(configFile, config));
    ASSERT_TRUE(QDir(configHome.path()).mkpath(QStringLiteral("metrics")));

    // The log's date follows the regional settings the program starts with, here German ones.
    GeneratedLocales locales;
    ASSERT_TRUE(locales.add(QStringLiteral("de_DE.UTF-8")));
    QProcessEnvironment environment = locales.environment(QStringLiteral("de_DE.UTF-8"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), configHome.path(QStringLiteral("state")));
    // No display, as over SSH or on a board without a screen: the program chooses Qt's offscreen platform itself.
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(workDir.path());

    QDateTime started = QDateTime::currentDateTime();
    started = started.addMSecs(-started.time().msec()); // the log's stamps have whole seconds
    QList<DayText> days{today(environment)};
    program.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("/bin/sh"), namespaceScript,
                                              QStringLiteral(PYLVANE_EXECUTABLE)});
    ASSERT_TRUE(program.waitForStarted(10'000)) << program.errorString().toStdString();

    // The failure command runs after the cycle has written all of its entries, so once its marker
    // is there the log is complete; the next cycle is a quarter of an hour away.
    const bool markerWritten = waitFor(
        [&] { return QFileInfo(marker).size() > 0 || program.state() == QProcess::NotRunning; }, kFirstCycleWaitMs);
    const QDateTime cycleOver = QDateTime::currentDateTime();
    // The status file and the metrics file follow the cycle; the metrics come from a helper process, which
    // an emulated machine starts slowly and which the program's end does not wait for.
    const QString statusFile = configHome.path(QStringLiteral("state/pylvane/status.json"));
    const QString metrics = configHome.path(QStringLiteral("metrics/pylvane.prom"));
    waitFor(
        [&] { return (QFile::exists(statusFile) && QFile::exists(metrics)) || program.state() != QProcess::Running; },
        kFirstCycleWaitMs);
    if (cycleOver.date() != days.first().date)
        days << today(environment);
    const bool stillRunning = program.state() == QProcess::Running;
    program.terminate();
    if (!program.waitForFinished(15'000)) {
        program.kill();
        program.waitForFinished(5'000);
    }
    alive.kill();
    alive.waitForFinished(5'000);
    const std::string output = program.readAll().toStdString();

    ASSERT_TRUE(stillRunning) << "the program ended before its first cycle was over; its output:\n" << output;
    EXPECT_NE(output.find("no display found"), std::string::npos) << output;
    EXPECT_EQ(output.find("cannot send ICMP echo"), std::string::npos) << "root may send echo; the output:\n" << output;
    ASSERT_TRUE(markerWritten && QFileInfo(marker).size() > 0)
        << "the failure command did not run within " << kFirstCycleWaitMs / 1000 << " s; the program's output:\n"
        << output;
    const QStringList told = QString::fromUtf8(readFile(marker)).split(QLatin1Char('\n'));
    ASSERT_EQ(told.size(), 7) << readFile(marker).toStdString();
    EXPECT_EQ(told.mid(0, 5).join(QLatin1Char('|')).toStdString(),
              ("ran|2|IP Cam 1 " + kSilentCamAddress + "|Services and Apps 2 " + missingName + "|" +
               QDir(workDir.path()).filePath(kLogName))
                  .toStdString());
    const QDateTime cycleEnd = QDateTime::fromString(told.at(5), Qt::ISODate);
    EXPECT_TRUE(cycleEnd >= started && cycleEnd <= cycleOver) << told.at(5).toStdString();

    // Read after the program has ended: nothing is written at exit either.
    const QByteArray log = readFile(workDir.path(kLogName));
    const std::string shown =
        QString::fromLocal8Bit(log).replace(QStringLiteral("\r\n"), QStringLiteral("<CRLF>\n")).toStdString();
    const std::optional<QStringList> lines = crLfLines(log);
    ASSERT_TRUE(lines) << "every line of the log ends with CR LF; the log:\n" << shown;
    ASSERT_EQ(lines->size(), 6) << "header, separator and two entries each with an empty line; the log:\n" << shown;

    const std::optional<QDateTime> created =
        stampOf(lines->at(0), QStringLiteral("Pylvane Log File , Created "), QString(), days);
    const std::optional<QDateTime> process2 =
        stampOf(lines->at(2), QString(), QStringLiteral("  - Process2 DOWN   "), days);
    const std::optional<QDateTime> cam1 = stampOf(lines->at(4), QString(), QStringLiteral("  - Cam1 OFF   "), days);
    EXPECT_TRUE(created) << "the camera's entry created the file with the host header; the log:\n" << shown;
    EXPECT_EQ(lines->at(1).toStdString(), std::string(79, '='));
    EXPECT_TRUE(process2) << "the newest entry is the missing process; the log:\n" << shown;
    EXPECT_EQ(lines->at(3).toStdString(), "");
    EXPECT_TRUE(cam1) << "below it the silent camera; the log:\n" << shown;
    EXPECT_EQ(lines->at(5).toStdString(), "");

    // Each stamp is the moment its line was written: during this run, in the order of the cycle.
    for (const std::optional<QDateTime>& stamp : {created, cam1, process2}) {
        if (stamp) {
            EXPECT_GE(*stamp, started) << timeText(stamp).toStdString();
            EXPECT_LE(*stamp, cycleOver) << timeText(stamp).toStdString();
        }
    }
    if (created && cam1 && process2) {
        EXPECT_LE(*created, *cam1);
        EXPECT_LE(*cam1, *process2);
    }

    // No lock or half-written copy of the log is left behind, and the settings were only read.
    const QStringList left =
        QDir(workDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    EXPECT_EQ(left.join(QLatin1Char(' ')).toStdString(), kLogName.toStdString());
    EXPECT_EQ(readFile(configFile).toStdString(), config.toStdString());

    // The status file says the same: the camera and the missing process down, the rest up or off; and the next
    // cycle, about 1000 s away as the schedule runs, not the cycle timer that was still armed when this one ended.
    const QJsonObject status = QJsonDocument::fromJson(readFile(statusFile)).object();
    const int nextIn = status.value(QStringLiteral("next_in")).toInt(-1);
    EXPECT_TRUE(nextIn >= 990 && nextIn <= 1010) << "next_in " << nextIn;
    const QJsonArray targets = status.value(QStringLiteral("targets")).toArray();
    ASSERT_EQ(targets.size(), 35);
    QStringList states;
    for (int i : {0, 1, 10, 20, 21, 22})
        states << targets.at(i).toObject().value(QStringLiteral("state")).toString();
    EXPECT_EQ(states.join(QLatin1Char(' ')).toStdString(), "up off down up down off");
    // Each target's share up over the last day, from the one check of this run: null for one never checked.
    QStringList uptimes;
    for (int i : {0, 1, 10, 20, 21, 22})
        uptimes << targets.at(i).toObject().value(QStringLiteral("uptime_24h")).toVariant().toString();
    EXPECT_EQ(uptimes.join(QLatin1Char(' ')).toStdString(), "1  0 1 0 ");
    // The cycle went into the history beside the status file: one check per enabled target, in one transaction.
    const QString history = configHome.path(QStringLiteral("state/pylvane/history.sqlite"));
    {
        SqliteConnection connection;
        ASSERT_EQ(connection.open(history.toStdString(), SQLITE_OPEN_READONLY), SQLITE_OK);
        SqliteStatement checks(connection, "SELECT group_concat(x, ' ') FROM (SELECT s.log_name || '=' || c.state AS x "
                                           "FROM checks c JOIN series s ON s.id = c.series ORDER BY s.id)");
        ASSERT_EQ(checks.step(), SQLITE_ROW);
        EXPECT_EQ(checks.text(0), "Device1=up Cam1=down Process1=up Process2=down");
        SqliteStatement cycles(connection, "SELECT count(*) || ' ' || min(started_by) FROM cycles");
        ASSERT_EQ(cycles.step(), SQLITE_ROW);
        EXPECT_EQ(cycles.text(0), "1 schedule");
    }

    // The metrics file of the same cycle, as Prometheus's own parser reads it: the four enabled targets,
    // the camera and the missing process down.
    QProcess parser;
    parser.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(PYLVANE_PARSE_METRICS), metrics});
    ASSERT_TRUE(parser.waitForFinished(30'000));
    ASSERT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString();
    QStringList ups;
    for (const QJsonValue family : QJsonDocument::fromJson(parser.readAllStandardOutput()).array()) {
        if (family.toObject().value(QStringLiteral("family")) != QStringLiteral("pylvane_target_up"))
            continue;
        for (const QJsonValue sample : family.toObject().value(QStringLiteral("samples")).toArray())
            ups << sample.toObject()
                           .value(QStringLiteral("labels"))
                           .toObject()
                           .value(QStringLiteral("name"))
                           .toString() +
                       QLatin1Char('=') + QString::number(sample.toObject().value(QStringLiteral("value")).toDouble());
    }
    EXPECT_EQ(ups.join(QLatin1Char(' ')).toStdString(), "Device1=1 Cam1=0 Process1=1 Process2=0");
}

// Started by a user who may open neither kind of ICMP socket, the program says so on standard error,
// naming both remedies.
TEST(ProgramRun, WithoutEchoRightsSaysSoOnStandardError)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to take echo rights away in a network namespace of its own (unshare -n)";
    TempDir workDir;
    ASSERT_TRUE(workDir.isValid());
    ASSERT_TRUE(QFile::setPermissions(workDir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                          QFileDevice::WriteOther | QFileDevice::ExeOther));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), workDir.path());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), workDir.path());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(workDir.path());
    // The namespace's ping group range admits no group; user and group "nobody" hold no capability.
    program.start(QStringLiteral("unshare"),
                  {QStringLiteral("-n"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                   QStringLiteral("echo '1 0' > /proc/sys/net/ipv4/ping_group_range && "
                                  "exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$0\""),
                   QStringLiteral(PYLVANE_EXECUTABLE)});
    ASSERT_TRUE(program.waitForStarted(10'000)) << program.errorString().toStdString();
    QByteArray errors;
    const bool said = waitFor(
        [&] {
            errors += program.readAllStandardError();
            return errors.contains('\n') && errors.contains("cannot send ICMP echo");
        },
        kFirstCycleWaitMs);
    program.terminate();
    if (!program.waitForFinished(15'000)) {
        program.kill();
        program.waitForFinished(5'000);
    }
    ASSERT_TRUE(said) << "standard error:\n" << errors.toStdString();
    const QList<QByteArray> lines = errors.split('\n');
    const auto line = std::find_if(lines.begin(), lines.end(), [](const QByteArray& l) { return l.contains("ICMP"); });
    ASSERT_NE(line, lines.end());
    EXPECT_TRUE(line->contains("setcap cap_net_raw+ep " PYLVANE_EXECUTABLE)) << line->toStdString();
    EXPECT_TRUE(line->contains("net.ipv4.ping_group_range")) << line->toStdString();
}
