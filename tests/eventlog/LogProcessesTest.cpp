#include "LogProcessHelpers.h"
#include "support/ChildStarts.h"
#include "support/Emulation.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "eventlog/EventLog.h"
#include "eventlog/LogFile.h"
#include "platform/Platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSysInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// Writers killed at random moments of one insertion each into a log of about 3 MB, a hundred per
// case so that the cases run side by side. Each kill leaves the old log or the old log with the
// new entry, at most one copy beside it, and no lock that the next writer would wait for.
class KilledWriters : public ::testing::TestWithParam<int> {};

TEST_P(KilledWriters, LeaveTheOldLogOrOneEntryMoreAndAtMostOneCopy)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray body = oldBody(75000);
    writeFile(path, kHeader + body);
    // Started writers say "ready" just before they insert; the kills spread over the time from
    // there to the end of one insertion, so that the start of a process, slow and uneven under
    // some systems, does not decide where they land.
    ChildStarts starts;
    const auto startWriter = [&](QProcess& writer, const QString& word) {
        QString why;
        ASSERT_TRUE(starts.start(writer, QStringLiteral(PYLVANE_LOGTOOL), {path, QStringLiteral("1"), word}, &why))
            << why.toStdString();
        while (!writer.canReadLine())
            ASSERT_TRUE(writer.waitForReadyRead(30'000)) << "no \"ready\" from the writer";
    };
    QProcess first;
    startWriter(first, QStringLiteral("First"));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(first.waitForFinished());
    const qint64 spanUs = clock.nsecsElapsed() / 1000;

    QRandomGenerator random(GetParam());
    QStringList labels{QStringLiteral("First1")};
    int copiesLeft = 0;
    int entriesIn = 0;
    const int rounds = 100;
    for (int round = 0; round < rounds; ++round) {
        const QString word = QStringLiteral("K%1x").arg(round);
        QProcess writer;
        startWriter(writer, word);
        QThread::usleep(random.bounded(spanUs));
        writer.kill();
        writer.waitForFinished();

        const QStringList now = newEntries(readFile(path), body);
        const bool added = now.size() == labels.size() + 1;
        ASSERT_EQ(now.mid(added ? 1 : 0), labels) << "round " << round;
        if (added) {
            ASSERT_EQ(now.first(), word + "1");
        }
        const QStringList files = filesIn(dir.path());
        ASSERT_TRUE(files == QStringList{"PylvaneLog.txt"} ||
                    files == (QStringList{".PylvaneLog.txt.new", "PylvaneLog.txt"}))
            << files.join(' ').toStdString();
        LogFile next(path);
        ASSERT_EQ(next.open(0), LogFile::Lock::Taken) << "the dead writer still holds the lock";
        copiesLeft += files.size() - 1;
        entriesIn += added;
        labels = now;
    }
    // Kills came during the rewrite and after it.
    EXPECT_GT(copiesLeft, 0);
    EXPECT_GT(entriesIn, 0);
    std::printf("%d kills: %d left a copy, %d came after the entry was in; %d refused starts made again\n", rounds,
                copiesLeft, entriesIn, starts.restarts());
}

INSTANTIATE_TEST_SUITE_P(ThreeHundred, KilledWriters, ::testing::Values(1, 2, 3));

// Cycles killed at random moments, from the first entry kept aside to the end of the one rewrite, 250
// per case. After each kill every entry said to be kept is in the log or in the kept-entries file;
// after the next start, which the next cycle is, each is in the log once.
class KilledCycles : public ::testing::TestWithParam<int> {};

TEST_P(KilledCycles, KeepEveryEntryAndPutEachInOnce)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QString pending = EventLog::pendingFileName(path);
    const QByteArray body = oldBody(20000);
    writeFile(path, kHeader + body);
    ChildStarts starts;
    const auto runCycle = [&](QProcess& cycle, const QString& word, int count) {
        cycle.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QString why;
        ASSERT_TRUE(starts.start(cycle, QStringLiteral(PYLVANE_LOGTOOL),
                                 {path, QStringLiteral("cycle"), QString::number(count), word}, &why))
            << why.toStdString();
        while (!cycle.canReadLine())
            ASSERT_TRUE(cycle.waitForReadyRead(30'000)) << "no \"ready\" from the cycle";
        cycle.readLine();
    };
    const auto keptBy = [](QProcess& cycle) {
        QStringList kept;
        for (const QByteArray& line : cycle.readAllStandardOutput().split('\n'))
            if (line.startsWith("kept "))
                kept << QString::fromLatin1(line.mid(5).trimmed()); // a CR before the LF on Windows
        return kept;
    };
    QProcess timed;
    runCycle(timed, QStringLiteral("T"), 35);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(timed.waitForFinished());
    const qint64 spanUs = clock.nsecsElapsed() / 1000;
    QStringList everKept = keptBy(timed);

    QRandomGenerator random(GetParam());
    // Starting a program costs Windows (Wine above all) and emulation many times what it costs Linux.
    const bool slowStarts = QSysInfo::kernelType() == QLatin1String("winnt") || std::getenv("PYLVANE_UNDER_QEMU");
    const int rounds = slowStarts ? 40 : 250;
    int keptAtKill = 0;
    for (int round = 0; round < rounds; ++round) {
        QProcess cycle;
        runCycle(cycle, QStringLiteral("K%1x").arg(round), 35);
        QThread::usleep(random.bounded(spanUs));
        cycle.kill();
        cycle.waitForFinished();
        const QStringList kept = keptBy(cycle);
        everKept += kept;
        const QByteArray log = readFile(path);
        const QByteArray aside = QFile::exists(pending) ? readFile(pending) : QByteArray();
        for (const QString& name : kept)
            ASSERT_TRUE(log.contains(" - " + name.toLatin1() + " OFF") ||
                        aside.contains(" - " + name.toLatin1() + " OFF"))
                << name.toStdString() << " lost in round " << round;
        keptAtKill += QFile::exists(pending);
    }
    QProcess last;
    runCycle(last, QStringLiteral("L"), 1);
    ASSERT_TRUE(last.waitForFinished());
    EXPECT_EQ(last.exitCode(), 0);
    // A kill in the middle of keeping an entry aside may leave its start, at most one per kill; those
    // reported kept are whole, once each.
    QStringList cutShort;
    QStringList inLog = newEntries(readFile(path), body, &cutShort);
    EXPECT_LE(cutShort.size(), rounds);
    for (const QString& name : std::as_const(everKept))
        EXPECT_EQ(inLog.count(name), 1) << name.toStdString();
    EXPECT_EQ(inLog.removeDuplicates(), 0) << "an entry went in twice";
    EXPECT_FALSE(QFile::exists(pending));
    EXPECT_GT(keptAtKill, 0);
    std::printf("%d killed cycles: %d left entries kept aside, %lld entries kept in all, %lld cut short; %d refused "
                "starts made again\n",
                rounds, keptAtKill, qlonglong(everKept.size()), qlonglong(cutShort.size()), starts.restarts());
}

INSTANTIATE_TEST_SUITE_P(AThousand, KilledCycles, ::testing::Values(1, 2, 3, 4));

TEST(LogProcesses, FourWritersLoseAndDuplicateNothing)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray body = oldBody(75000);
    writeFile(path, kHeader + body);
    const int perWriter = 200;
    const QStringList words{"A", "B", "C", "D"};
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString& word : words) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(QStringLiteral(PYLVANE_LOGTOOL), {path, QString::number(perWriter), word});
    }
    for (auto& writer : writers) {
        ASSERT_TRUE(writer->waitForFinished(100000));
        EXPECT_EQ(writer->exitCode(), 0);
        std::printf("%s", writer->readAllStandardOutput().mid(6).constData()); // after "ready"
    }

    const QStringList labels = newEntries(readFile(path), body);
    EXPECT_EQ(labels.size(), words.size() * perWriter);
    // Each writer's entries all there once, newest first, however they interleave with the others'.
    for (const QString& word : words) {
        QStringList expected;
        for (int i = perWriter; i >= 1; --i)
            expected << word + QString::number(i);
        const QRegularExpression ofWriter(QLatin1Char('^') + word + QStringLiteral("\\d+$"));
        EXPECT_EQ(labels.filter(ofWriter), expected) << word.toStdString();
    }
    EXPECT_EQ(filesIn(dir.path()), QStringList{"PylvaneLog.txt"});
}

// At the end of a run the lock is waited for even right after a busy lock had the log stop waiting,
// so that a writer holding it a moment longer costs no entry.
TEST(LogProcesses, AtTheEndABusyLockIsWaitedFor)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    writeFile(path, kHeader);
    QProcess holder;
    // Longer than an entry's own wait, and by far less than the wait at the end.
    holder.start(QStringLiteral(PYLVANE_LOGTOOL), {path, QStringLiteral("hold"), QStringLiteral("3500")});
    ASSERT_TRUE(holder.waitForReadyRead(30'000));
    ASSERT_EQ(holder.readLine().trimmed(), "ready");

    const std::unique_ptr<Platform> platform = Platform::forThisSystem();
    EventLog log(*platform, path);
    ASSERT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, QStringLiteral(" - Held1 OFF   ")));
    EXPECT_TRUE(log.writeQueuedEntriesAtEnd());
    EXPECT_EQ(newEntries(readFile(path), {}), QStringList{"Held1"});
    EXPECT_EQ(filesIn(dir.path()), QStringList{"PylvaneLog.txt"});
    holder.waitForFinished();
}

} // namespace
