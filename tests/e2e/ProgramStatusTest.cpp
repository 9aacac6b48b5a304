// `pylvane --status` and the other options, run as a script runs them: no display, the status file of
// the user's state folder, one line and the exit code.
#include "support/FileBytes.h"
#include "support/HistoryRows.h"
#include "support/TempDir.h"

#include "monitor/CycleReport.h"
#include "outcome/StatusFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Answer {
    int code = -1;
    QString out;
    QString err;
};

// The program with `arguments`, its state folder in `stateHome`, and a window system it cannot reach:
// an option that started the windows would end with an error other than the one expected.
Answer run(const QStringList& arguments, const QString& stateHome)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(PYLVANE_EXECUTABLE), arguments);
    if (!program.waitForFinished(20'000))
        program.kill();
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
}

CycleReport reportWithDown(const QDateTime& ended, int down)
{
    CycleReport report;
    for (TargetReport& target : report.targets)
        target.state = TargetReport::State::Up;
    for (int i = 0; i < down; ++i) {
        report.targets[10 + i].state = TargetReport::State::Down;
        report.targets[10 + i].text = QStringLiteral("192.168.1.%1").arg(21 + i);
    }
    report.ended = ended;
    report.durationMs = 2000;
    return report;
}

class ProgramStatus : public ::testing::Test {
protected:
    void put(const CycleReport& report)
    {
        ASSERT_TRUE(StatusFile::write(folder, StatusFile::json(
                                                  report, [](int) { return QDateTime(); }, 1008)));
    }
    Answer status() { return run({QStringLiteral("--status")}, home.path()); }

    TempDir home;
    const QString folder = home.path(QStringLiteral("pylvane"));
};

// Hostile first: no file, a link planted in its place, a file that is no status file, a huge one.
TEST_F(ProgramStatus, SaysUnknownWithoutAFileOrWithOneItMustNotTrust)
{
    Answer result = status();
    EXPECT_EQ(result.code, 3);
    EXPECT_EQ(result.out, "PYLVANE UNKNOWN - no status file; is Pylvane running?\n");

    ASSERT_TRUE(QDir().mkpath(folder));
    const QString other = home.path(QStringLiteral("other.json"));
    writeFile(other, StatusFile::json(
                         reportWithDown(QDateTime::currentDateTime(), 0), [](int) { return QDateTime(); }, 1008));
    ASSERT_TRUE(QFile::link(other, folder + QStringLiteral("/status.json")));
    EXPECT_EQ(status().code, 3) << "a link is not followed";
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/status.json")));

    writeFile(folder + QStringLiteral("/status.json"), "{\"format\": 1, \"targets\": 7}");
    result = status();
    EXPECT_EQ(result.code, 3);
    EXPECT_EQ(result.out, "PYLVANE UNKNOWN - the status file is damaged\n");
    writeFile(folder + QStringLiteral("/status.json"), QByteArray(64 << 20, '['));
    EXPECT_EQ(status().code, 3);
}

TEST_F(ProgramStatus, SaysOkCriticalOrStaleWithTheirCodes)
{
    put(reportWithDown(QDateTime::currentDateTime().addSecs(-300), 0));
    Answer result = status();
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, "PYLVANE OK - 35 targets up | down=0;;1;0;35 unknown=0;;;0;35 confirming=0;;;0;35\n");

    put(reportWithDown(QDateTime::currentDateTime().addSecs(-300), 2));
    result = status();
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "PYLVANE CRITICAL - 2 down: Cam1 192.168.1.21, Cam2 192.168.1.22 | down=2;;1;0;35 "
                          "unknown=0;;;0;35 confirming=0;;;0;35\n");

    put(reportWithDown(QDateTime::currentDateTime().addSecs(-3 * 3600 - 100), 2));
    result = status();
    EXPECT_EQ(result.code, 3);
    EXPECT_EQ(result.out, "PYLVANE UNKNOWN - no check for 3 h; is Pylvane running?\n");
}

// Read while no display answers: nothing there yet says so with UNKNOWN; a history prints a line per target.
TEST_F(ProgramStatus, HistoryAnswersWithoutAWindow)
{
    Answer result = run({QStringLiteral("--history")}, home.path());
    EXPECT_EQ(result.code, 3);
    EXPECT_EQ(result.err, "pylvane: no history yet\n");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    {
        HistoryRows rows(QFile::encodeName(folder + QStringLiteral("/history.sqlite")).toStdString());
        const int64_t cam = rows.series("camera", 2, "Cam2", "192.168.1.22");
        rows.checks(cam, now - 10 * 3'600'000, 1'020'000, 30, [](int i) { return i == 7 ? "down" : "up"; });
        ASSERT_TRUE(rows.ok());
    }
    result = run({QStringLiteral("--history")}, home.path());
    EXPECT_EQ(result.code, 0) << qPrintable(result.err);
    EXPECT_TRUE(result.out.startsWith("Cam2 (192.168.1.22): uptime 24h 96.7 % (29/30)")) << qPrintable(result.out);
    EXPECT_EQ(result.out.count('\n'), 1);
    result = run({QStringLiteral("--history"), QStringLiteral("--csv"), QStringLiteral("--days"), QStringLiteral("1")},
                 home.path());
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out.count("\r\n"), 31) << qPrintable(result.out);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/history.sqlite-journal")));
}

TEST_F(ProgramStatus, HelpVersionAndAnUnknownOptionAnswerWithoutAWindow)
{
    Answer result = run({QStringLiteral("--help")}, home.path());
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.out.startsWith("Usage: pylvane [options]\n")) << qPrintable(result.out);
    // Every option a user may type, the Windows ones marked where they do nothing.
    for (const char* option :
         {"--status", "--help", "--version", "--register-event-source", "--unregister-event-source", "--history",
          "--outages", "--csv", "--days", "--headless", "--config <file>", "--state-dir <folder>", "--check-config",
          "--check-now"})
        EXPECT_TRUE(result.out.contains(option)) << option << "\n" << qPrintable(result.out);
    EXPECT_EQ(result.out.count("(Windows only)"), 2) << qPrintable(result.out);
    // What a typing error returns is said, and it is not 2, which --status and --diagnose give for a failure.
    EXPECT_TRUE(result.out.contains("do not go together, end the program with exit code 64.\n"))
        << qPrintable(result.out);
    EXPECT_FALSE(result.out.contains("--write-metrics") || result.out.contains("--working-directory"));
    result = run({QStringLiteral("--version")}, home.path());
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.out.startsWith("pylvane 1.")) << qPrintable(result.out);
    // Qt's own options, as a session manager restores the program with them, are left to Qt.
    result = run({QStringLiteral("-session"), QStringLiteral("10a7f3e"), QStringLiteral("--version"),
                  QStringLiteral("-style=fusion"), QStringLiteral("--reverse")},
                 home.path());
    EXPECT_EQ(result.code, 0) << qPrintable(result.err);
    EXPECT_TRUE(result.out.startsWith("pylvane 1.")) << qPrintable(result.out);
    for (const QStringList& wrong :
         {QStringList{"--bogus"}, QStringList{"-platforms", "offscreen"}, QStringList{"--status", "now"},
          QStringList{"extra"}, QStringList{"--status", "--diagnose"}, QStringList{"--json"},
          QStringList{"--outages"}, QStringList{"--history", "--csv", "--json"}, QStringList{"--history", "--days", "x"},
          QStringList{"--history", "--status"}}) {
        result = run(wrong, home.path());
        EXPECT_EQ(result.code, 64) << qPrintable(wrong.join(' '));
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_EQ(result.err.count(QLatin1Char('\n')), 1) << qPrintable(result.err);
        EXPECT_TRUE(result.err.startsWith("pylvane: ")) << qPrintable(result.err);
    }
}

} // namespace
