// The built program without a desktop, as the service manager runs it: `--headless` with its settings file and
// state folder, a notification socket of the test's own in the manager's place, and the signals an administrator
// sends. Run as an ordinary user (nobody, when the tests run as root), since the rules on links and on folders
// others may write are what stop a user who is not root.
#include "support/Emulation.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include <csignal>
#include <cstdlib>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;
// The first cycle comes about 20 s after start, a checked-now one within 20 s of the request; the rest is headroom
// for a sanitizer build on a busy machine.
constexpr int kCycleWaitMs = 60'000;

const QByteArray kSettings = "[General]\n"
                             "a1=/bin/true\n"
                             "e1=127.0.0.1\ne1b=1\n"
                             "d1=e2e_test\nd1b=1\n";

// The user the program runs as: the test's own, or nobody for a test run as root.
uid_t runUser()
{
    return ::geteuid() == 0 ? kNobody : ::geteuid();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    file.close();
    return written && ::chown(QFile::encodeName(path).constData(), runUser(), gid_t(-1)) == 0;
}

// A datagram socket bound at a path, in the service manager's place: what the program sends it, one message a
// datagram.
class FakeNotifySocket {
public:
    explicit FakeNotifySocket(const QString& path) : path_(path)
    {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                 ::chown(name.constData(), runUser(), gid_t(-1)) == 0;
    }
    ~FakeNotifySocket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool bound() const { return bound_; }
    // Every message so far.
    const QStringList& messages()
    {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0)
            messages_ << QString::fromUtf8(buffer, n);
        return messages_;
    }
    int count(const QString& message) { return int(messages().count(message)); }
    int countStarting(const QString& start)
    {
        int found = 0;
        for (const QString& message : messages())
            found += message.startsWith(start) ? 1 : 0;
        return found;
    }

private:
    QString path_;
    int fd_ = -1;
    bool bound_ = false;
    QStringList messages_;
};

class ProgramHeadless : public ::testing::Test {
protected:
    void SetUp() override
    {
        PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
        ASSERT_TRUE(home.isValid());
        // The test's folder is the program's user's, private as a home folder is.
        ASSERT_EQ(::chown(QFile::encodeName(home.path()).constData(), runUser(), gid_t(-1)), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
        ASSERT_TRUE(writeFile(settingsFile, kSettings));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("NOTIFY_SOCKET"));
        environment.remove(QStringLiteral("STATE_DIRECTORY"));
        environment.remove(QStringLiteral("PYLVANE_STATE_DIR"));
        // A program that made a QGuiApplication would end at once here: the platform plugin finds no display.
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), home.path(QStringLiteral("xdgstate")));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:abort_on_error=0"));
    }

    // The program as the run's user, started in the test's folder, which holds its log.
    void start(QProcess& program, const QStringList& arguments)
    {
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(home.path());
        program.setChildProcessModifier([] {
            if (::geteuid() != 0)
                return;
            if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                ::setresuid(kNobody, kNobody, kNobody) != 0)
                ::_exit(121);
        });
        program.start(QStringLiteral(PYLVANE_EXECUTABLE), arguments);
    }
    struct Answer {
        int code = -1;
        QString out;
        QString err;
    };
    Answer run(const QStringList& arguments)
    {
        QProcess program;
        start(program, arguments);
        if (!program.waitForFinished(30'000))
            program.kill();
        program.waitForFinished(5'000);
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
    }
    QStringList headless() const
    {
        return {QStringLiteral("--headless"), QStringLiteral("--config"), settingsFile, QStringLiteral("--state-dir"),
                stateFolder};
    }
    QJsonObject status() const
    {
        QFile file(stateFolder + QStringLiteral("/status.json"));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }
    // Ends the run as the service manager stops it, and says how it ended.
    static int stop(QProcess& program)
    {
        ::kill(pid_t(program.processId()), SIGTERM);
        if (!program.waitForFinished(5'000)) {
            program.kill();
            program.waitForFinished(5'000);
            return -1;
        }
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2;
    }

    TempDir home;
    const QString settingsFile = home.path(QStringLiteral("pylvane.conf"));
    const QString stateFolder = home.path(QStringLiteral("state"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

// The options that end at once: each row is a command line after a setup, with the exit code and a piece of what
// it prints. Hostile first: files and folders that must not be used.
TEST_F(ProgramHeadless, OptionsRefuseWhatMustNotBeUsedAndSayWhy)
{
    const QString other = home.path(QStringLiteral("elsewhere"));
    const QString settings = settingsFile;
    struct Row {
        const char* name;
        std::function<void()> setup;
        QStringList arguments;
        int code;
        const char* said; // in the standard output or error
    };
    const QString damaged = home.path(QStringLiteral("damaged.conf"));
    const Row rows[] = {
        {"a missing settings file",
         [] {},
         {"--headless", "--config", home.path("none.conf")},
         78,
         "there is no such file"},
        {"a settings file others may write",
         [&settings] { ::chmod(QFile::encodeName(settings).constData(), 0666); },
         {"--headless", "--config", settings},
         78,
         "other users may write it"},
        {"a settings file in a folder others may write",
         [&] {
             ::chmod(QFile::encodeName(settings).constData(), 0644);
             QDir().mkpath(other);
             ::chmod(QFile::encodeName(other).constData(), 0777);
             writeFile(other + "/pylvane.conf", kSettings);
         },
         {"--headless", "--config", other + "/pylvane.conf"},
         78,
         "its folder may be changed by other users"},
        {"a settings file with a damaged line",
         [&] { writeFile(damaged, kSettings + "d2=\"unclosed\nd2b=1\n"); },
         {"--headless", "--config", damaged},
         78,
         "line 7 cannot be read"},
        {"a state folder that is a link",
         [&] {
             QDir().mkpath(home.path("real-state"));
             ::chown(QFile::encodeName(home.path("real-state")).constData(), runUser(), gid_t(-1));
             QFile::link(home.path("real-state"), home.path("linked-state"));
             ::lchown(QFile::encodeName(home.path("linked-state")).constData(), runUser(), gid_t(-1));
         },
         {"--headless", "--config", settings, "--state-dir", home.path("linked-state")},
         78,
         "it is a symbolic link"},
        {"a state folder others may write",
         [&] {},
         {"--headless", "--config", settings, "--state-dir", other},
         78,
         "other users may write into it"},
        {"--status through a state folder others may write",
         [] {},
         {"--status", "--state-dir", other},
         3,
         "the state folder is not used"},
        {"--status of a state folder without a run",
         [] {},
         {"--status", "--state-dir", stateFolder},
         3,
         "no status file"},
        {"--check-now without a run",
         [] {},
         {"--check-now", "--state-dir", stateFolder},
         1,
         "no Pylvane runs with the state folder"},
        {"--check-config of a file without a fault",
         [] {},
         {"--check-config", settings},
         0,
         "enabled: 1 devices, 0 cams, 1 processes"},
        {"--check-config of a failure command that is no program",
         [&] { writeFile(home.path("warn.conf"), "a1=/no/such/alarm\nc1=camera.local\nc1b=1\n"); },
         {"--check-config", home.path("warn.conf")},
         1,
         "the failure command names no existing program file: "
         "/no/such/alarm"},
        {"--check-config of an address that is not IPv4",
         [] {},
         {"--check-config", home.path("warn.conf")},
         1,
         "Cam1: "},
        {"--check-config of a damaged line",
         [] {},
         {"--check-config", "--config", damaged},
         2,
         "line 7 cannot be read (d2)"},
        {"--check-config of a missing file",
         [] {},
         {"--check-config", home.path("none.conf")},
         2,
         "the file is not used: there is no such file"},
        {"--config without a job it goes with", [] {}, {"--config", settings}, 64, "--config goes with"},
        {"--state-dir with --check-config",
         [] {},
         {"--check-config", "--state-dir", stateFolder},
         64,
         "--state-dir goes with"},
        {"two files for --check-config", [] {}, {"--check-config", settings, settings}, 64, "unexpected argument"},
    };
    for (const Row& row : rows) {
        row.setup();
        const Answer answer = run(row.arguments);
        EXPECT_EQ(answer.code, row.code) << row.name << "\n" << qPrintable(answer.out + answer.err);
        EXPECT_TRUE((answer.out + answer.err).contains(QString::fromUtf8(row.said)))
            << row.name << "\n"
            << qPrintable(answer.out + answer.err);
    }
    EXPECT_FALSE(QFileInfo::exists(home.path("real-state/status.json"))) << "a refused run wrote nothing";
}

// The service manager's socket is not there, or its name is too long: one message each, and the run goes on.
TEST_F(ProgramHeadless, ANotificationSocketThatCannotBeReachedCostsOneMessage)
{
    for (const QString& socket : {home.path(QStringLiteral("nobody-listens")), QString(200, u'/') + "x"}) {
        environment.insert(QStringLiteral("NOTIFY_SOCKET"), socket);
        environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));
        QProcess program;
        start(program, headless());
        ASSERT_TRUE(program.waitForStarted(10'000));
        QString err;
        EXPECT_TRUE(waitFor(
            [&] {
                err += QString::fromUtf8(program.readAllStandardError());
                return err.contains(QStringLiteral("NOTIFY_SOCKET")) || err.contains(QStringLiteral("socket"));
            },
            20'000))
            << qPrintable(err);
        QTest::qWait(1'500); // several watchdog intervals
        err += QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.state(), QProcess::Running) << qPrintable(err);
        EXPECT_EQ(stop(program), 0);
        err += QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(err.count(QStringLiteral("service manager")), 1) << qPrintable(err);
    }
}

// The manager's socket by an abstract name ("@…"), as a container's manager may give it; a watchdog meant for
// another process (WATCHDOG_PID) is not fed by this one.
TEST_F(ProgramHeadless, AnAbstractSocketIsReachedAndAnotherProcesssWatchdogLeftAlone)
{
    const QByteArray name = "pylvane-e2e-" + QByteArray::number(QCoreApplication::applicationPid());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address),
                     socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()))),
              0);
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), QLatin1Char('@') + QString::fromLatin1(name));
    environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("100000"));
    environment.insert(QStringLiteral("WATCHDOG_PID"), QStringLiteral("1"));
    QProcess program;
    start(program, headless());
    QStringList messages;
    const auto receive = [&] {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            messages << QString::fromUtf8(buffer, n);
        return messages;
    };
    EXPECT_TRUE(waitFor([&] { return receive().contains(QStringLiteral("READY=1")); }, 20'000))
        << qPrintable(program.readAllStandardError());
    QTest::qWait(1'000);
    EXPECT_FALSE(receive().contains(QStringLiteral("WATCHDOG=1")));
    EXPECT_EQ(stop(program), 0);
    EXPECT_TRUE(waitFor([&] { return receive().contains(QStringLiteral("STOPPING=1")); }, 2'000));
    ::close(fd);
}

// One run, as the service manager sees it: ready once the schedule is armed, the watchdog fed, a storm of reloads
// taken one at a time, a broken file refused with the old settings kept, the first cycle's outcome as its status,
// a second cycle on --check-now and a third on SIGUSR1, each kept in the history that --history reads back, and an
// orderly end on SIGTERM. The run after a killed one says so.
TEST_F(ProgramHeadless, RunsForTheServiceManagerThroughSignalsAndReloads)
{
    FakeNotifySocket manager(home.path(QStringLiteral("notify")));
    ASSERT_TRUE(manager.bound());
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), home.path(QStringLiteral("notify")));
    environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("1000000"));
    QProcess program;
    start(program, headless());
    ASSERT_TRUE(program.waitForStarted(10'000));
    ASSERT_TRUE(waitFor([&] { return manager.count(QStringLiteral("READY=1")) == 1; }, 20'000))
        << qPrintable(manager.messages().join('|') + program.readAllStandardError());
    EXPECT_EQ(manager.countStarting(QStringLiteral("STATUS=waiting for the first check at ")), 1);
    EXPECT_TRUE(waitFor([&] { return manager.count(QStringLiteral("WATCHDOG=1")) >= 3; }, 10'000))
        << "fed at half of WATCHDOG_USEC";

    // 100 reloads asked within a second: each taken whole, one at a time, the program still running.
    for (int i = 0; i < 100; ++i)
        ::kill(pid_t(program.processId()), SIGHUP);
    EXPECT_TRUE(waitFor([&] { return manager.count(QStringLiteral("READY=1")) >= 2; }, 10'000));
    QTest::qWait(1'000);
    const int reloads = manager.countStarting(QStringLiteral("RELOADING=1\nMONOTONIC_USEC="));
    EXPECT_GE(reloads, 1);
    EXPECT_LE(reloads, 100);
    EXPECT_EQ(manager.count(QStringLiteral("READY=1")), reloads + 1) << "each reload ends ready, none overlaps";
    ASSERT_EQ(program.state(), QProcess::Running);

    // A file with a line that cannot be read: refused whole, and the run keeps the settings it has.
    ASSERT_TRUE(writeFile(settingsFile, "[General]\ne1b=0\nd1=\"unclosed\nd1b=0\n"));
    ::kill(pid_t(program.processId()), SIGHUP);
    EXPECT_TRUE(waitFor(
        [&] { return manager.count(QStringLiteral("STATUS=settings not read again: line 3 cannot be read")) == 1; },
        10'000))
        << qPrintable(manager.messages().join('|'));
    ASSERT_TRUE(waitFor([&] { return manager.countStarting(QStringLiteral("STATUS=PYLVANE ")) == 1; }, kCycleWaitMs));
    const QJsonArray targets = status().value(QStringLiteral("targets")).toArray();
    ASSERT_EQ(targets.size(), 35);
    EXPECT_NE(targets[0].toObject().value(QStringLiteral("state")).toString(), QStringLiteral("off"))
        << "Device1 stays enabled";
    EXPECT_NE(targets[20].toObject().value(QStringLiteral("state")).toString(), QStringLiteral("off"))
        << "Process1 stays enabled";
    const QString firstEnd = status().value(QStringLiteral("ended")).toString();

    // A check asked for by the command, as "X" asks: one more cycle, and never two at once.
    ASSERT_TRUE(writeFile(settingsFile, kSettings));
    const Answer asked = run({QStringLiteral("--check-now"), QStringLiteral("--state-dir"), stateFolder});
    // qemu-user answers a program's reads of its own /proc/<pid>/stat itself, with a start time that the asking
    // program, reading the host's, cannot match: there the command finds no run, and SIGUSR1 alone asks.
    if (std::getenv("PYLVANE_UNDER_QEMU") == nullptr) {
        EXPECT_EQ(asked.code, 0) << qPrintable(asked.err);
    }
    ::kill(pid_t(program.processId()), SIGUSR1);
    EXPECT_TRUE(waitFor([&] { return manager.countStarting(QStringLiteral("STATUS=PYLVANE ")) == 2; }, kCycleWaitMs));
    EXPECT_NE(status().value(QStringLiteral("ended")).toString(), firstEnd);
    QTest::qWait(1'000);
    EXPECT_EQ(manager.countStarting(QStringLiteral("STATUS=PYLVANE ")), 2) << "two requests made one cycle";
    ::kill(pid_t(program.processId()), SIGUSR1);
    EXPECT_TRUE(waitFor([&] { return manager.countStarting(QStringLiteral("STATUS=PYLVANE ")) == 3; }, kCycleWaitMs));
    // The last day's uptime of each enabled target, from the history of the cycles so far.
    const QJsonArray third = status().value(QStringLiteral("targets")).toArray();
    ASSERT_EQ(third.size(), 35);
    // Process1 names this test's own program, found up natively; under emulation the program file is the
    // emulator's. Either way each of its checks knew.
    EXPECT_TRUE(third[20].toObject().value(QStringLiteral("uptime_24h")).isDouble());
    EXPECT_TRUE(third[1].toObject().value(QStringLiteral("uptime_24h")).isNull()) << "Device2 was never checked";

    EXPECT_EQ(stop(program), 0);
    // Three cycles, a row each for the two enabled targets, read back without a display by the history command.
    const Answer csv = run({QStringLiteral("--history"), QStringLiteral("--csv"), QStringLiteral("--state-dir"),
                            stateFolder});
    EXPECT_EQ(csv.code, 0) << qPrintable(csv.err);
    const QStringList rows = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_FALSE(rows.isEmpty()) << qPrintable(csv.err);
    EXPECT_TRUE(rows.first().startsWith(QStringLiteral("time,kind,number,name,text,state"))) << qPrintable(csv.out);
    EXPECT_EQ(rows.filter(QStringLiteral(",device,1,Device1,127.0.0.1,")).size(), 3) << qPrintable(csv.out);
    EXPECT_EQ(rows.filter(QStringLiteral(",process,1,Process1,e2e_test,")).size(), 3) << qPrintable(csv.out);
    EXPECT_EQ(rows.size(), 7) << qPrintable(csv.out);
    const Answer summary = run({QStringLiteral("--history"), QStringLiteral("--state-dir"), stateFolder});
    EXPECT_EQ(summary.code, 0) << qPrintable(summary.err);
    EXPECT_TRUE(summary.out.contains(QStringLiteral("Device1")) && summary.out.contains(QStringLiteral("Process1")))
        << qPrintable(summary.out);
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("the settings in ") + settingsFile +
                             " were not read again: line 3 "
                             "cannot be read"))
        << qPrintable(err);
    if (::geteuid() == 0) {
        // Root reads the status of a service that runs as another user, by its state folder.
        QProcess status;
        status.setProcessEnvironment(environment);
        status.start(QStringLiteral(PYLVANE_EXECUTABLE), {QStringLiteral("--status"), QStringLiteral("--state-dir"),
                                                          stateFolder});
        ASSERT_TRUE(status.waitForFinished(20'000));
        const QString line = QString::fromUtf8(status.readAllStandardOutput());
        EXPECT_TRUE(line.startsWith(QStringLiteral("PYLVANE ")) && !line.contains(QStringLiteral("status f")))
            << qPrintable(line);
        // And its history, which SQLite reads as root without leaving a file of root's beside the service's.
        QProcess history;
        history.setProcessEnvironment(environment);
        history.start(QStringLiteral(PYLVANE_EXECUTABLE),
                      {QStringLiteral("--history"), QStringLiteral("--state-dir"), stateFolder});
        ASSERT_TRUE(history.waitForFinished(20'000));
        EXPECT_EQ(history.exitCode(), 0) << history.readAllStandardError().toStdString();
        for (const QFileInfo& file : QDir(stateFolder).entryInfoList(QDir::Files | QDir::Hidden))
            EXPECT_EQ(file.ownerId(), runUser()) << qPrintable(file.fileName());
    }
    QFile marker(stateFolder + QStringLiteral("/pylvane.pid"));
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    EXPECT_TRUE(marker.readAll().isEmpty()) << "an orderly end empties the marker";
    EXPECT_EQ(run({QStringLiteral("--check-now"), QStringLiteral("--state-dir"), stateFolder}).code, 1);

    // Killed, as the watchdog kills a hung run: the next run says so.
    QProcess killed;
    start(killed, headless());
    ASSERT_TRUE(waitFor([&] { return manager.count(QStringLiteral("READY=1")) == reloads + 3; }, 20'000));
    const qint64 killedPid = killed.processId();
    ::kill(pid_t(killedPid), SIGKILL);
    killed.waitForFinished(5'000);
    QProcess next;
    start(next, headless());
    ASSERT_TRUE(waitFor([&] { return manager.count(QStringLiteral("READY=1")) == reloads + 4; }, 20'000));
    EXPECT_EQ(stop(next), 0);
    EXPECT_TRUE(QString::fromUtf8(next.readAllStandardError())
                    .contains(QStringLiteral("the run before this one (process %1)").arg(killedPid)));
}

} // namespace
