#include "history/HistoryTestData.h"
#include "support/RecordingEvents.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryRecorder.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

using namespace HistoryTestData;
using Outcome = HistoryDatabase::Outcome;

const TargetReport& cam(const CycleReport& report, int number)
{
    return report.targets[targetIndex(TargetKind::Cam, number)];
}

// The uptime of the first cycle of a run counts the checks of the runs before it, read once by the worker.
TEST(HistoryRecorder, TheFirstCycleCountsTheLastDayOfTheRunsBefore)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    {
        HistoryDatabase before(folder);
        ASSERT_EQ(before.open(), HistoryDatabase::Open::Ready);
        CycleReport earlier = report(now - 3'600'000);
        earlier.targets[targetIndex(TargetKind::Cam, 1)].state = TargetReport::State::Down;
        ASSERT_EQ(before.writeCycle(HistoryCycle::from(earlier)), Outcome::Written);
        ASSERT_EQ(before.writeCycle(cycle(now - 25 * 3'600'000LL)), Outcome::Written); // more than a day ago
    }
    HistoryRecorder recorder(folder, 400, nullptr);
    recorder.start();
    ASSERT_TRUE(recorder.waitIdle(10'000));
    const CycleReport first = report(now);
    recorder.record(first);
    EXPECT_EQ(recorder.uptime24h(cam(first, 1), first.ended), 0.5);
    EXPECT_EQ(recorder.uptime24h(cam(first, 2), first.ended), 0.0);
    EXPECT_EQ(recorder.uptime24h(cam(first, 3), first.ended), 1.0);
    EXPECT_EQ(recorder.uptime24h(cam(first, 4), first.ended), std::nullopt) << "never checked";
    ASSERT_TRUE(recorder.waitIdle(10'000));
    EXPECT_EQ(scalar(folder + QStringLiteral("/history.sqlite"), "SELECT count(*) FROM cycles"), "3");
}

// A database held by another program for long costs a second per cycle on the worker, never on the caller: the
// cycles handed over meanwhile wait, a few at most, and the oldest waiting go, which is said once.
TEST(HistoryRecorder, ACallerNeverWaitsAndCyclesBeyondTheFewThatWaitAreDroppedAndSaidOnce)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    {
        HistoryDatabase database(folder);
        ASSERT_EQ(database.open(), HistoryDatabase::Open::Ready);
    }
    SqliteConnection holder;
    ASSERT_EQ(holder.open((folder + QStringLiteral("/history.sqlite")).toStdString(), SQLITE_OPEN_READWRITE),
              SQLITE_OK);
    ASSERT_EQ(holder.exec("BEGIN EXCLUSIVE; INSERT INTO cycles (ended_ms, duration_ms, started_by) VALUES (1, 1, 'X')"),
              SQLITE_OK);
    RecordingEvents events;
    HistoryRecorder recorder(folder, 400, &events);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 8; ++i)
        recorder.record(report(now + i * 1000));
    EXPECT_LT(clock.elapsed(), 1000) << "the caller waited on the database";
    ASSERT_TRUE(waitFor([&] { return events.messages().size() >= 2; }, 15'000))
        << events.messages().join('\n').toStdString();
    holder.exec("ROLLBACK");
    ASSERT_TRUE(recorder.waitIdle(15'000));
    recorder.record(report(now + 100'000));
    ASSERT_TRUE(recorder.waitIdle(10'000));
    EXPECT_EQ(recorder.lastOutcome(), Outcome::Written);
    QTest::qWait(50);
    const QStringList said = events.messages();
    EXPECT_EQ(said.filter(QStringLiteral("fell behind")).size(), 1) << said.join('\n').toStdString();
    EXPECT_EQ(said.filter(QStringLiteral("was held by another program")).size(), 1) << said.join('\n').toStdString();
    // Every cycle that was not dropped went in once the holder let go; the dropped ones are not there.
    const int written = std::stoi(scalar(folder + QStringLiteral("/history.sqlite"), "SELECT count(*) FROM cycles"));
    EXPECT_GE(written, 2);
    EXPECT_LE(written, 1 + int(HistoryRecorder::kQueueLimit) + 1);
}

} // namespace
