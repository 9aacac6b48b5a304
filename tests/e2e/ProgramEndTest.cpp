// The built program ended by SIGTERM while another writer holds its log: an entry that waits for the
// log goes in at the end, or, with the lock held past the end's wait, at the next start.
#include "support/FileBytes.h"
#include "support/Emulation.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "eventlog/LogFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

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

    void start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("XDG_STATE_HOME"), config.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
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

} // namespace
