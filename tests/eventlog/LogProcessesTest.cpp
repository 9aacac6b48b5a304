#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "eventlog/LogFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kHeader = "Pylvane Log File , Created 01.12.2026 09:00:00\r\n" + QByteArray(79, '=') + "\r\n";

// A body of old entries big enough that each rewrite takes a while.
QByteArray oldBody(int entries)
{
    QByteArray body;
    for (int i = 0; i < entries; ++i)
        body += QByteArray("30.11.2026 23:59:59  - Cam") + QByteArray::number(i % 10 + 1) + " OFF   \r\n\r\n";
    return body;
}

// The labels of the new entries in a log made of kHeader, new entries, then exactly `body`;
// fails the test when the file has any other shape.
QStringList newEntries(const QByteArray& log, const QByteArray& body)
{
    static const QRegularExpression entryLine(QStringLiteral("^.+ \\d\\d:\\d\\d:\\d\\d  - (\\w+) OFF   $"));
    QStringList labels;
    EXPECT_TRUE(log.startsWith(kHeader));
    EXPECT_TRUE(log.endsWith(body)) << "old body damaged";
    const QByteArray middle = log.mid(kHeader.size(), log.size() - kHeader.size() - body.size());
    const QList<QByteArray> parts = middle.split('\n');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const auto match = entryLine.match(QString::fromLatin1(parts[i]).chopped(1));
        EXPECT_TRUE(match.hasMatch()) << parts[i].constData();
        EXPECT_EQ(parts[i + 1], "\r");
        labels << match.captured(1);
    }
    EXPECT_EQ(parts.last(), "");
    return labels;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// Runs the log tool on `path` in its line-by-line mode, one entry per word, behind `prefix` (a
// command that runs it as another user, say), and returns its answers: "ok" or "queued" per word.
QStringList insertWords(const QString& path, const QStringList& words, const QStringList& prefix = {})
{
    QProcess tool;
    const QStringList command = prefix + QStringList{QStringLiteral(PYLVANE_LOGTOOL), path, QStringLiteral("-")};
    tool.start(command.first(), command.mid(1));
    tool.write(words.join(QLatin1Char('\n')).toLatin1() + '\n');
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
    QStringList answers =
        QString::fromLatin1(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(answers.value(0), "ready");
    return answers.mid(1);
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// Writers killed at random moments of one insertion each into a log of about 3 MB, a hundred per
// case so that the cases run side by side. Each kill leaves the old log or the old log with the
// new entry, at most one copy beside it, and no lock that the next writer would wait for.
class KilledWriters : public ::testing::TestWithParam<int> {};

TEST_P(KilledWriters, LeaveTheOldLogOrOneEntryMoreAndAtMostOneCopy)
{
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray body = oldBody(75000);
    writeFile(path, kHeader + body);
    const auto startWriter = [&](QProcess& writer, const QString& word) {
        writer.start(QStringLiteral(PYLVANE_LOGTOOL), {path, QStringLiteral("1"), word});
        ASSERT_TRUE(writer.waitForStarted());
    };
    // The kills spread over the time that one start and insertion takes on this machine.
    QElapsedTimer clock;
    clock.start();
    QProcess first;
    startWriter(first, QStringLiteral("First"));
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
    std::printf("%d kills: %d left a copy, %d came after the entry was in\n", rounds, copiesLeft, entriesIn);
}

INSTANTIATE_TEST_SUITE_P(ThreeHundred, KilledWriters, ::testing::Values(1, 2, 3));

TEST(LogProcesses, FourWritersLoseAndDuplicateNothing)
{
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

// A full disk is simulated with a file size limit on the writer: the insertion fails, the old
// file stays exactly as it was and the unfinished copy is gone.
TEST(LogProcesses, FullDiskLeavesOldFileIntact)
{
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray before = kHeader + oldBody(200); // about 8 KB; the limit below is 4 KB
    writeFile(path, before);
    const QStringList limited{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                              QStringLiteral("trap '' XFSZ; ulimit -f 4; exec \"$0\" \"$@\"")};
    EXPECT_EQ(insertWords(path, {"Full"}, limited), QStringList{"queued"});
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"PylvaneLog.txt"}) << "no leftovers";
}

// A small tmpfs of the writer's own, filled up: the log is never truncated, and the entry that did
// not fit goes in with the next one once there is room again.
TEST(LogProcesses, FullFileSystemKeepsTheLogAndTheEntryForLater)
{
    if (!runningAsRoot())
        GTEST_SKIP() << "mounting a tmpfs in a mount namespace of the test's own needs root";
    TempDir dir;
    QProcess tool;
    tool.start(QStringLiteral("unshare"),
               {"-m", "--propagation", "private", "sh", "-c",
                "mount -t tmpfs -o size=1m pylvane-test \"$0\" && exec \"$1\" \"$0/PylvaneLog.txt\" -", dir.path(),
                QStringLiteral(PYLVANE_LOGTOOL)});
    const auto answer = [&tool] {
        return tool.waitForReadyRead(30000) ? tool.readLine().trimmed() : tool.readAllStandardError();
    };
    const QByteArray ready = answer();
    if (ready != "ready")
        GTEST_SKIP() << "no tmpfs in a mount namespace of our own here: " << ready.constData();
    const auto finish = qScopeGuard([&tool] {
        tool.closeWriteChannel();
        tool.waitForFinished();
    });
    // The tool's mount is seen through its own root.
    const QString folder = QStringLiteral("/proc/%1/root%2").arg(tool.processId()).arg(dir.path());
    const QString path = folder + "/PylvaneLog.txt";
    const QByteArray body = oldBody(5000); // about 200 KB
    writeFile(path, kHeader + body);
    QFile filler(folder + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) == 4096) {
    }
    filler.close();

    tool.write("Full\n");
    EXPECT_EQ(answer(), "queued");
    EXPECT_EQ(readFile(path), kHeader + body);
    EXPECT_EQ(filesIn(folder), (QStringList{"filler", "PylvaneLog.txt"}));

    ASSERT_TRUE(QFile::remove(folder + "/filler"));
    tool.write("Back\n");
    EXPECT_EQ(answer(), "ok");
    EXPECT_EQ(newEntries(readFile(path), body), (QStringList{"Back", "Full"}));
    EXPECT_EQ(filesIn(folder), QStringList{"PylvaneLog.txt"});
}

// An ordinary user who may write the log but not its folder: the log is rewritten in place. When
// the file is read-only too, it is left alone.
TEST(LogProcesses, ReadOnlyFolderGetsEntriesInPlace)
{
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray body = oldBody(100);
    writeFile(path, kHeader + body);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    const auto writable = qScopeGuard([&dir] { ::chmod(QFile::encodeName(dir.path()).constData(), 0700); });
    const QStringList asUser =
        runningAsRoot() ? QStringList{"setpriv", "--reuid=1000", "--regid=1000", "--clear-groups"} : QStringList{};

    EXPECT_EQ(insertWords(path, {"Ro1", "Ro2"}, asUser), (QStringList{"ok", "ok"}));
    EXPECT_EQ(newEntries(readFile(path), body), (QStringList{"Ro2", "Ro1"}));
    EXPECT_EQ(filesIn(dir.path()), QStringList{"PylvaneLog.txt"});

    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    const QByteArray before = readFile(path);
    EXPECT_EQ(insertWords(path, {"Ro3"}, asUser), QStringList{"queued"});
    EXPECT_EQ(readFile(path), before);
}

} // namespace
