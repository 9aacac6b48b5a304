// The built program ended by SIGTERM while another writer holds its log: an entry that waits for the
// log goes in at the end, or, with the lock held past the end's wait, at the next start. And its start where the
// display or the session bus takes a connection and never answers: it comes up, checks, and ends as asked.
#include "outcome/PrivateBus.h"
#include "support/FileBytes.h"
#include "support/Emulation.h"
#include "support/PrivateDisplay.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "eventlog/LogFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>
#include <optional>

namespace {

const QByteArray kEntryEnd = "  - Process1 DOWN   \r\n\r\n";

// One process target that never runs, so that the first cycle, about 20 s after start, finds it
// down and starts the failure command.
class ProgramEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
        const QString command = tools.path(QStringLiteral("alert.sh"));
        writeFile(command, "#!/bin/sh\necho ran >> '" + marker.toUtf8() + "'\n");
        ASSERT_TRUE(QFile::setPermissions(command, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        ASSERT_TRUE(QDir(config.path()).mkpath(QStringLiteral("Pylvane")));
        const QByteArray missing = "pylvane-e2e-never-" + QByteArray::number(QCoreApplication::applicationPid());
        writeFile(config.path(QStringLiteral("Pylvane/Pylvane.conf")),
                  "[General]\na1=\"" + command.toUtf8() + "\"\nd1=\"" + missing + ".exe\"\nd1b=\"1\"\n");
    }
    void TearDown() override
    {
        program.kill();
        program.waitForFinished();
    }

    void start(const QProcessEnvironment& given = QProcessEnvironment::systemEnvironment())
    {
        QProcessEnvironment environment = given;
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("XDG_STATE_HOME"), config.path());
        if (!environment.contains(QStringLiteral("DISPLAY")))
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
        if (asNobody)
            program.start(QStringLiteral("setpriv"),
                          {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                           QStringLiteral("--clear-groups"), QStringLiteral(PYLVANE_EXECUTABLE)});
        else
            program.start(QStringLiteral(PYLVANE_EXECUTABLE), {});
        ASSERT_TRUE(program.waitForStarted(10'000));
    }
    // Until the first cycle has found the process down: its entry is then written or queued.
    bool waitForAlert()
    {
        return waitFor([this] { return QFileInfo(marker).size() > 0 || program.state() == QProcess::NotRunning; },
                       80'000) &&
               QFileInfo(marker).size() > 0;
    }
    // SIGTERM; the exit code once the program has ended by itself, -1 otherwise.
    int terminate()
    {
        program.terminate();
        if (!program.waitForFinished(20'000))
            return -1;
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }
    std::string output() { return program.readAll().toStdString(); }

    TempDir config;
    TempDir work;
    TempDir tools;
    const QString logPath = work.path(QStringLiteral("PylvaneLog.txt"));
    const QString pendingPath = logPath + QStringLiteral(".pending");
    const QString marker = tools.path(QStringLiteral("alerted"));
    QProcess program;
    bool asNobody = false; // as user and group "nobody", whose are then the test's folders
};

TEST_F(ProgramEnd, SigtermWritesTheEntryThatWaitsForTheLog)
{
    auto otherWriter = std::make_unique<LogFile>(logPath);
    ASSERT_EQ(otherWriter->open(0), LogFile::Lock::Taken);
    start();
    ASSERT_TRUE(waitForAlert()) << output();
    EXPECT_EQ(readFile(logPath), "") << "the entry has to wait";
    otherWriter.reset();

    EXPECT_EQ(terminate(), 0) << output();
    const QByteArray log = readFile(logPath);
    EXPECT_TRUE(log.startsWith("-=K=- Pylvane Log File , Created ")) << log.constData();
    EXPECT_TRUE(log.endsWith(kEntryEnd)) << log.constData();
    EXPECT_FALSE(QFile::exists(pendingPath));
}

TEST_F(ProgramEnd, AnEntryLockedOutPastTheEndGoesInAtTheNextStart)
{
    auto otherWriter = std::make_unique<LogFile>(logPath);
    ASSERT_EQ(otherWriter->open(0), LogFile::Lock::Taken);
    start();
    ASSERT_TRUE(waitForAlert()) << output();
    EXPECT_EQ(terminate(), 0) << output();
    EXPECT_EQ(readFile(logPath), "");
    EXPECT_TRUE(readFile(pendingPath).endsWith(kEntryEnd));
    otherWriter.reset();

    start();
    EXPECT_TRUE(waitFor([this] { return !QFile::exists(pendingPath); }, 20'000));
    EXPECT_EQ(terminate(), 0) << output();
    const QByteArray log = readFile(logPath);
    EXPECT_TRUE(log.startsWith("-=K=- Pylvane Log File , Created ")) << log.constData();
    EXPECT_TRUE(log.endsWith(kEntryEnd)) << log.constData();
    EXPECT_EQ(log.count(kEntryEnd), 1);
    EXPECT_EQ(readFile(marker), "ran\n") << "no second cycle came";
}

// A desktop as a user may find it: the session bus's daemon stopped (SIGSTOP) under a working X server, a display
// with no server behind it, an X server that is stopped.
struct HostileStart {
    const char* name;
    PrivateDisplay::Kind display;
    bool stopServer;
    bool stopBus;
    const char* said; // the one line on standard error
};

void PrintTo(const HostileStart& row, std::ostream* out)
{
    *out << row.name;
}

const HostileStart kHostileStarts[] = {
    {"StoppedBusDaemon", PrivateDisplay::Kind::Xvfb, false, true,
     "pylvane: the session bus did not answer within 1 s: starting without it"},
    {"NoXServer", PrivateDisplay::Kind::Nothing, false, false, "refuses connections: running on Qt's offscreen"},
    {"StoppedXServer", PrivateDisplay::Kind::Xvfb, true, false,
     "did not answer within 1 s: running on Qt's offscreen platform"},
};

class ProgramStart : public ProgramEnd, public ::testing::WithParamInterface<HostileStart> {};

// The first cycle runs on the windows' thread: its failure command shows that the program came up and did not wait
// on what does not answer, and SIGTERM, taken on the same thread, ends it in order.
TEST_P(ProgramStart, ComesUpSaysWhyInOneLineAndEndsAsAsked)
{
    const HostileStart& row = GetParam();
    if (row.display == PrivateDisplay::Kind::Xvfb && !PrivateDisplay::available())
        GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    PrivateBus bus;
    PrivateDisplay display(row.display);
    ASSERT_FALSE(display.name().isEmpty()) << "no private display could be made";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    if (row.stopBus) {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon could not start a session bus";
        bus.pause();
    }
    if (row.stopServer)
        display.pause();
    // As an ordinary user where the test may make one of itself.
    if (geteuid() == 0) {
        asNobody = true;
        for (const TempDir* dir : {&config, &work, &tools})
            ASSERT_EQ(QProcess::execute(QStringLiteral("chown"),
                                        {QStringLiteral("-R"), QStringLiteral("65534:65534"), dir->path()}),
                      0);
    }
    start(environment);
    ASSERT_TRUE(waitForAlert()) << output();
    const QByteArray said = program.readAll();
    EXPECT_EQ(said.count(row.said), 1) << said.toStdString();
    EXPECT_EQ(terminate(), 0) << said.toStdString() << output();
}

INSTANTIATE_TEST_SUITE_P(HostileDesktops, ProgramStart, ::testing::ValuesIn(kHostileStarts),
                         [](const testing::TestParamInfo<HostileStart>& info) { return std::string(info.param.name); });

} // namespace
