#include "OldLog.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

namespace {

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

} // namespace
