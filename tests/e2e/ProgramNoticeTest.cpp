// The built program on a private X display and a private session bus with the notification stand-in: the
// notices a user gets as a target goes down, stays down and comes back, and the cycles' timing when the
// notification service hangs. Further cycles come as a user brings them: "X" (Escape) on the settings window
// makes the next cycle follow within about 20 s.
#include "outcome/PrivateBus.h"
#include "support/FileBytes.h"
#include "support/Emulation.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

// A cycle follows "X" within 20 s; the rest is room for a sanitizer build on a busy machine.
constexpr int kCycleWaitMs = 45'000;

class ProgramNotice : public ::testing::Test {
protected:
    void SetUp() override
    {
        PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
        for (const char* tool : {"Xvfb", "xdotool", "dbus-daemon"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (Debian packages xvfb, xdotool, dbus-daemon)";
        }
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon could not start a session bus";
        display = QStringLiteral(":%1").arg(200 + QCoreApplication::applicationPid() % 500);
        xvfb.start(QStringLiteral("Xvfb"),
                   {display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        ASSERT_TRUE(waitFor([&] { return QFileInfo::exists("/tmp/.X11-unix/X" + display.mid(1)); }, 10'000));

        processName = QStringLiteral("pylvane-notice-e2e-%1").arg(QCoreApplication::applicationPid());
        processPath = tools.path(processName);
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), processPath));
        ASSERT_TRUE(QDir(tools.path()).mkpath(QStringLiteral("config/Pylvane")));
        writeFile(tools.path(QStringLiteral("config/Pylvane/Pylvane.conf")),
                  "[General]\nd1=\"" + processName.toUtf8() + "\"\nd1b=\"1\"\n");
    }

    void TearDown() override
    {
        for (QProcess* process : {&program, &target, &xvfb}) {
            process->terminate();
            if (!process->waitForFinished(10'000)) {
                process->kill();
                process->waitForFinished(5'000);
            }
        }
    }

    void startProgram()
    {
        QProcessEnvironment environment = bus.environment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), tools.path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), tools.path(QStringLiteral("state")));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(tools.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(PYLVANE_EXECUTABLE), {});
        ASSERT_TRUE(program.waitForStarted(10'000));
    }

    QString xdotool(const QStringList& arguments)
    {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(20'000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    // The program's window of that size class: the small main window or the large settings window.
    QString window(bool settings)
    {
        for (const QString& id : xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                          QStringLiteral("--name"), QStringLiteral("^Pylvane$")})
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString geometry = xdotool({QStringLiteral("getwindowgeometry"), id});
            const bool large = !geometry.contains(QStringLiteral("301x79"));
            if (large == settings)
                return id;
        }
        return {};
    }

    // "X" on the settings window, by its key: the next cycle follows within about 20 s.
    bool closeSettings()
    {
        QString id;
        if (!waitFor([&] { return !(id = window(true)).isEmpty(); }, 20'000))
            return false;
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        return waitFor([&] { return window(true).isEmpty(); }, 10'000);
    }

    // "Settings" on the main window.
    void openSettings()
    {
        const QString id = window(false);
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QStringLiteral("228"),
                 QStringLiteral("36"), QStringLiteral("click"), QStringLiteral("1")});
    }

    QJsonObject status()
    {
        return QJsonDocument::fromJson(readFile(tools.path(QStringLiteral("state/pylvane/status.json")))).object();
    }

    // Waits for a cycle that ends after `after`; its end time, or an invalid time.
    QDateTime nextCycle(const QString& after)
    {
        QString ended;
        waitFor(
            [&] {
                ended = status().value(QStringLiteral("ended")).toString();
                return !ended.isEmpty() && ended != after;
            },
            kCycleWaitMs);
        return ended != after ? QDateTime::fromString(ended, Qt::ISODate) : QDateTime();
    }

    QList<QJsonObject> notices()
    {
        QList<QJsonObject> calls;
        for (const QByteArray& line : readFile(record).split('\n'))
            if (!line.isEmpty())
                calls << QJsonDocument::fromJson(line).object();
        return calls;
    }

    std::string output() { return program.readAll().toStdString(); }

    TempDir tools;
    QString record = tools.path(QStringLiteral("notices.jsonl"));
    PrivateBus bus;
    QString display;
    QProcess xvfb;
    QProcess program;
    QProcess target;
    QString processName;
    QString processPath;
};

TEST_F(ProgramNotice, OneNoticeWhenATargetGoesDownNoneWhileItStaysDownOneWhenItComesBack)
{
    ASSERT_TRUE(bus.startStandIn(QStringLiteral(PYLVANE_NOTIFICATION_STANDIN), record));
    startProgram();
    const QDateTime first = nextCycle({});
    ASSERT_TRUE(first.isValid()) << "no cycle ended; the program's output:\n" << output();
    ASSERT_TRUE(waitFor([&] { return notices().size() == 1; }, 10'000));
    const QJsonObject down = notices().first();
    EXPECT_EQ(down.value("summary").toString(), "Pylvane: 1 target down");
    EXPECT_EQ(down.value("body").toString(), "Down: Services and Apps 1 " + processName);
    EXPECT_EQ(down.value("app").toString(), "Pylvane");
    EXPECT_EQ(down.value("urgency").toInt(), 2);

    ASSERT_TRUE(closeSettings()) << "the settings window did not go; the program's output:\n" << output();
    const QDateTime second = nextCycle(status().value("ended").toString());
    ASSERT_TRUE(second.isValid()) << "no second cycle";
    QTest::qWait(1000);
    EXPECT_EQ(notices().size(), 1) << "a cycle that changed nothing showed a notice";

    target.start(processPath, {QStringLiteral("600")});
    ASSERT_TRUE(target.waitForStarted(10'000));
    openSettings();
    ASSERT_TRUE(closeSettings());
    ASSERT_TRUE(nextCycle(status().value("ended").toString()).isValid()) << "no third cycle";
    ASSERT_TRUE(waitFor([&] { return notices().size() == 2; }, 10'000));
    const QJsonObject back = notices().at(1);
    EXPECT_EQ(back.value("summary").toString(), "Pylvane: all targets up again");
    EXPECT_EQ(back.value("body").toString(), "Back up: Services and Apps 1 " + processName);
    EXPECT_EQ(back.value("urgency").toInt(), 1);
    EXPECT_EQ(back.value("replaces").toInt(), down.value("id").toInt());
}

// A notification service that takes the call and never answers holds nothing up: the next cycle
// follows "X" as it always does, within two schedule intervals (a waiting call would add its 20 s).
TEST_F(ProgramNotice, AServiceThatNeverAnswersDelaysNoCycle)
{
    writeFile(record + QStringLiteral(".silent"), "");
    ASSERT_TRUE(bus.startStandIn(QStringLiteral(PYLVANE_NOTIFICATION_STANDIN), record));
    startProgram();
    ASSERT_TRUE(nextCycle({}).isValid()) << "no cycle ended; the program's output:\n" << output();
    ASSERT_TRUE(closeSettings());
    const QDateTime pressed = QDateTime::currentDateTime();
    const QDateTime second = nextCycle(status().value("ended").toString());
    ASSERT_TRUE(second.isValid()) << "no second cycle; the program's output:\n" << output();
    EXPECT_LE(pressed.secsTo(second), 22) << "the cycle came late";
    EXPECT_EQ(status().value("targets").toArray().at(20).toObject().value("state").toString(), "down");
}

// "Check twice before an alarm": a process missing once and running when the cycle brought forward looks again
// gives neither an entry nor a notice; missing in both, it gives one of each about 20 s after the first cycle.
TEST_F(ProgramNotice, ASecondLookComesWithinTwentySecondsAndOnlyItRaisesTheAlarm)
{
    writeFile(tools.path(QStringLiteral("config/Pylvane/Pylvane.conf")),
              "[General]\nd1=\"" + processName.toUtf8() + "\"\nd1b=\"1\"\nConfirmDown=1\n");
    ASSERT_TRUE(bus.startStandIn(QStringLiteral(PYLVANE_NOTIFICATION_STANDIN), record));
    startProgram();
    const QString log = tools.path(QStringLiteral("PylvaneLog.txt"));
    ASSERT_TRUE(nextCycle({}).isValid()) << "no cycle ended; the program's output:\n" << output();
    EXPECT_TRUE(status().value("targets").toArray().at(20).toObject().value("confirming").toBool());
    // Asked meanwhile, as a monitoring system asks, the program knows nothing of the process yet: it is neither
    // down nor unknown, but being checked again.
    QProcess statusCheck;
    QProcessEnvironment statusEnvironment = QProcessEnvironment::systemEnvironment();
    statusEnvironment.insert(QStringLiteral("XDG_STATE_HOME"), tools.path(QStringLiteral("state")));
    statusCheck.setProcessEnvironment(statusEnvironment);
    statusCheck.start(QStringLiteral(PYLVANE_EXECUTABLE), {QStringLiteral("--status")});
    ASSERT_TRUE(statusCheck.waitForFinished(20'000));
    EXPECT_EQ(QString::fromUtf8(statusCheck.readAllStandardOutput()).trimmed(),
              "PYLVANE OK - 0 targets up (1 target being checked again) | down=0;;1;0;35 unknown=0;;;0;35 "
              "confirming=1;;;0;35");
    EXPECT_EQ(statusCheck.exitCode(), 0);
    EXPECT_TRUE(status().value("targets").toArray().at(20).toObject().value("confirming").toBool())
        << "the second look came before the question";
    target.start(processPath, {QStringLiteral("600")});
    ASSERT_TRUE(target.waitForStarted(10'000));
    ASSERT_TRUE(nextCycle(status().value("ended").toString()).isValid()) << "no second look within 45 s";
    EXPECT_EQ(status().value("targets").toArray().at(20).toObject().value("state").toString(), "up");

    target.kill();
    target.waitForFinished(5'000);
    ASSERT_TRUE(closeSettings()) << "the settings window did not go; the program's output:\n" << output();
    const QDateTime once = nextCycle(status().value("ended").toString());
    ASSERT_TRUE(once.isValid()) << "no third cycle";
    EXPECT_TRUE(notices().isEmpty());
    EXPECT_FALSE(QFile::exists(log)) << readFile(log).toStdString();
    const QDateTime twice = nextCycle(status().value("ended").toString());
    ASSERT_TRUE(twice.isValid()) << "no second look within 45 s";
    EXPECT_LE(once.secsTo(twice), 25);
    ASSERT_TRUE(waitFor([&] { return notices().size() == 1; }, 10'000));
    EXPECT_EQ(notices().first().value("body").toString(), "Down: Services and Apps 1 " + processName);
    EXPECT_EQ(readFile(log).count(" - Process1 DOWN   "), 1) << readFile(log).toStdString();
}

} // namespace
