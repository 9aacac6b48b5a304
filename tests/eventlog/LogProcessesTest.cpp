#include "support/FileBytes.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

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

TEST(LogProcesses, KilledWriterLeavesOldOrNewFileNeverATruncatedOne)
{
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray body = oldBody(60000); // about 2.5 MB
    writeFile(path, kHeader + body);
    QRandomGenerator random(4711);
    int entriesSoFar = 0;
    for (int round = 0; round < 12; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(PYLVANE_LOGTOOL), {path, QStringLiteral("1000"), QStringLiteral("Kill")});
        ASSERT_TRUE(writer.waitForStarted());
        QThread::msleep(20 + random.bounded(120));
        writer.kill();
        writer.waitForFinished();
        const QStringList labels = newEntries(readFile(path), body);
        ASSERT_GE(labels.size(), entriesSoFar) << "entries were lost";
        entriesSoFar = static_cast<int>(labels.size());
    }
    EXPECT_GT(entriesSoFar, 0) << "the writer never finished an entry";
}

TEST(LogProcesses, TwoWritersLoseNothing)
{
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray body = oldBody(2000);
    writeFile(path, kHeader + body);
    const int perWriter = 40;
    QProcess first;
    QProcess second;
    first.start(QStringLiteral(PYLVANE_LOGTOOL), {path, QString::number(perWriter), QStringLiteral("First")});
    second.start(QStringLiteral(PYLVANE_LOGTOOL), {path, QString::number(perWriter), QStringLiteral("Second")});
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);

    const QStringList labels = newEntries(readFile(path), body);
    QSet<QString> expected;
    for (int i = 1; i <= perWriter; ++i)
        expected << QStringLiteral("First%1").arg(i) << QStringLiteral("Second%1").arg(i);
    EXPECT_EQ(labels.size(), 2 * perWriter);
    EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()), expected);
    // Each writer's own entries stay newest first.
    EXPECT_LT(labels.indexOf("First2"), labels.indexOf("First1"));
    EXPECT_LT(labels.indexOf("Second2"), labels.indexOf("Second1"));
}

// A full disk is simulated with a file size limit on the writer: the insertion fails and the
// old file stays exactly as it was.
TEST(LogProcesses, FullDiskLeavesOldFileIntact)
{
    TempDir dir;
    const QString path = dir.path("PylvaneLog.txt");
    const QByteArray before = kHeader + oldBody(200); // about 8 KB; the limit below is 4 KB
    writeFile(path, before);
    QProcess writer;
    writer.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; ulimit -f 4; exec \"$0\" \"$@\""),
                  QStringLiteral(PYLVANE_LOGTOOL), path, QStringLiteral("1"), QStringLiteral("Full")});
    ASSERT_TRUE(writer.waitForFinished(30000));
    EXPECT_EQ(writer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(writer.exitCode(), 1) << "the failed insertion is reported";
    EXPECT_EQ(readFile(path), before);
    QDir folder(dir.path());
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"PylvaneLog.txt"}) << "no leftovers";
}

} // namespace
