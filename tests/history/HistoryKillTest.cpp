#include "history/HistoryTestData.h"
#include "support/ChildStarts.h"
#include "support/Emulation.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSysInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Writers killed at random moments, from their start to deep in their loop of cycles. After all of them the file
// passes SQLite's whole check, every cycle a writer said was committed is in it, and no cycle is there in part.
TEST(KilledHistoryWriters, LeaveEveryCommittedCycleAndNoPartOfOne)
{
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    ChildStarts starts;
    QRandomGenerator random(20261209);
    // Starting a program costs Windows (Wine above all) and emulation many times what it costs Linux.
    const bool slowStarts = QSysInfo::kernelType() == QLatin1String("winnt") || std::getenv("PYLVANE_UNDER_QEMU");
    const int rounds = slowStarts ? 40 : 200;
    QSet<qint64> committed;
    // From now on: the writers keep 400 days, and remove what is older.
    const qint64 firstEnd = QDateTime::currentMSecsSinceEpoch();
    int killedInLoop = 0;
    for (int round = 0; round < rounds; ++round) {
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QString why;
        ASSERT_TRUE(starts.start(writer, QStringLiteral(PYLVANE_HISTORY_WRITER),
                                 {folder, QString::number(firstEnd + qint64(round) * 10'000'000)}, &why))
            << why.toStdString();
        // Every other writer is killed only once it is in its loop; the others at any moment, open included.
        if (round % 2 == 1) {
            while (!writer.canReadLine())
                ASSERT_TRUE(writer.waitForReadyRead(30'000)) << "no \"ready\" from the writer";
            ++killedInLoop;
        }
        // An emulated commit may take longer than the whole span a native one is killed in.
        QThread::usleep(random.bounded(slowStarts ? 400'000 : 40'000));
        writer.kill();
        writer.waitForFinished();
        ASSERT_NE(writer.exitStatus() == QProcess::NormalExit && writer.exitCode() != 0, true)
            << "the writer failed on its own in round " << round;
        // Only whole lines: a line cut by the kill was never said.
        const QByteArray out = writer.readAllStandardOutput();
        const QList<QByteArray> lines = out.left(out.lastIndexOf('\n') + 1).split('\n');
        for (const QByteArray& line : lines) {
            bool isNumber = false;
            const qint64 ended = line.trimmed().toLongLong(&isNumber); // a CR before the LF on Windows
            if (isNumber)
                committed.insert(ended);
        }
    }
    const QString path = folder + QStringLiteral("/history.sqlite");
    EXPECT_EQ(HistoryTestData::scalar(path, "PRAGMA integrity_check"), "ok");
    SqliteConnection connection;
    ASSERT_EQ(connection.open(path.toStdString(), SQLITE_OPEN_READWRITE), SQLITE_OK);
    QSet<qint64> present;
    SqliteStatement cycles(connection, "SELECT ended_ms FROM cycles");
    while (cycles.step() == SQLITE_ROW)
        present.insert(cycles.integer(0));
    int missing = 0;
    for (qint64 ended : std::as_const(committed))
        missing += present.contains(ended) ? 0 : 1;
    EXPECT_EQ(missing, 0) << "of " << committed.size() << " cycles said to be committed";
    EXPECT_EQ(HistoryTestData::scalar(path, "SELECT count(*) FROM (SELECT cycle FROM checks GROUP BY cycle HAVING "
                                            "count(*) <> 35)"),
              "0")
        << "a cycle is in the file in part";
    EXPECT_EQ(HistoryTestData::scalar(path, "SELECT count(*) FROM cycles"), std::to_string(present.size()));
    EXPECT_GT(committed.size(), 0);
    std::printf("%d kills (%d in the loop of cycles): %lld cycles said to be committed, %lld in the file; %d refused "
                "starts made again\n",
                rounds, killedInLoop, static_cast<long long>(committed.size()), static_cast<long long>(present.size()),
                starts.restarts());
}

} // namespace
