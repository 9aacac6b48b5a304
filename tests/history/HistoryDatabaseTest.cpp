#include "history/HistoryTestData.h"
#include "support/TempDir.h"

#include "history/HistoryDatabase.h"
#include "history/HistorySchema.h"
#include "history/RecentUptime.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QSysInfo>

#include <ostream>

namespace {

using namespace HistoryTestData;
using Outcome = HistoryDatabase::Outcome;
using Open = HistoryDatabase::Open;

constexpr int64_t kDay = 24LL * 60 * 60 * 1000;
constexpr int64_t kNow = 1'780'000'000'000; // 2026

class HistoryDatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    QString folder = dir.path(QStringLiteral("state/pylvane"));
    QString path = folder + QStringLiteral("/history.sqlite");
};

TEST_F(HistoryDatabaseTest, ANewFileGetsTheLayoutAndAPrivateFolder)
{
    HistoryDatabase database(folder);
    ASSERT_EQ(database.open(), Open::Ready) << database.problem().toStdString();
    EXPECT_EQ(scalar(path, "PRAGMA user_version"), std::to_string(HistorySchema::kVersion));
    EXPECT_EQ(scalar(path, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM sqlite_master WHERE type = 'table'"), "3");
    // Windows keeps the folder private through its access list, which Qt's permission bits do not show.
    if (QSysInfo::productType() != QLatin1String("windows")) {
        EXPECT_EQ(QFileInfo(folder).permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                     QFileDevice::ReadOther | QFileDevice::WriteOther),
                  QFileDevice::Permissions());
    }
}

TEST_F(HistoryDatabaseTest, OneCheckPerEnabledTargetWithItsStateAndRoundTrip)
{
    HistoryDatabase database(folder);
    ASSERT_EQ(database.open(), Open::Ready);
    CycleReport report = HistoryTestData::report(kNow, 3);
    report.startedBy = CycleReport::StartedBy::SecondLook;
    report.targets[targetIndex(TargetKind::Cam, 3)].confirming = true; // its state is what was known before
    report.targets[targetIndex(TargetKind::Process, 1)].state = TargetReport::State::Unknown;
    report.targets[targetIndex(TargetKind::Process, 1)].text = QStringLiteral("worker.exe");
    ASSERT_EQ(database.writeCycle(HistoryCycle::from(report)), Outcome::Written) << database.problem().toStdString();
    EXPECT_EQ(scalar(path, "SELECT started_by || ' ' || ended_ms || ' ' || duration_ms FROM cycles"),
              "second look " + std::to_string(kNow) + " 900");
    EXPECT_EQ(scalar(path, "SELECT group_concat(x, ' ') FROM (SELECT s.log_name || '=' || c.state || ':' || "
                           "ifnull(c.rtt_ms, '-') AS x FROM checks c JOIN series s ON s.id = c.series ORDER BY s.id)"),
              "Cam1=up:7 Cam2=down:- Cam3=confirming:- Process1=unknown:-");
}

TEST_F(HistoryDatabaseTest, AChangedAddressStartsANewSeriesAndAnUnchangedOneKeepsIt)
{
    HistoryDatabase database(folder);
    ASSERT_EQ(database.open(), Open::Ready);
    ASSERT_EQ(database.writeCycle(cycle(kNow)), Outcome::Written);
    ASSERT_EQ(database.writeCycle(cycle(kNow + 1000)), Outcome::Written);
    CycleReport moved = report(kNow + 2000);
    moved.targets[targetIndex(TargetKind::Cam, 1)].text = QStringLiteral("192.168.1.99");
    ASSERT_EQ(database.writeCycle(HistoryCycle::from(moved)), Outcome::Written);
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM series"), "4");
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM checks c JOIN series s ON s.id = c.series WHERE s.text = "
                           "'192.168.1.21'"),
              "2");
    // Opened again, the series are found in the file, not made twice.
    HistoryDatabase again(folder);
    ASSERT_EQ(again.open(), Open::Ready);
    ASSERT_EQ(again.writeCycle(cycle(kNow + 3000)), Outcome::Written);
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM series"), "4");
}

// The first write of a run removes what is older than the days kept, at most a step's worth per cycle: the checks
// first, series by series, and the cycles once none of their checks is left.
TEST_F(HistoryDatabaseTest, OldRowsGoInBoundedStepsAndRecentOnesStay)
{
    {
        HistoryDatabase old(folder);
        old.setClock([] { return kNow; });
        ASSERT_EQ(old.open(), Open::Ready);
        for (int i = 0; i < 600; ++i) // ten cameras each
            ASSERT_EQ(old.writeCycle(cycle(kNow - 3 * kDay + i * 1000, 10)), Outcome::Written);
        ASSERT_EQ(old.writeCycle(cycle(kNow - kDay / 2, 10)), Outcome::Written);
    }
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM checks"), "6010");
    HistoryDatabase database(folder, 1);
    database.setClock([] { return kNow; });
    ASSERT_EQ(database.open(), Open::Ready);
    ASSERT_EQ(database.writeCycle(cycle(kNow, 10)), Outcome::Written);
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM checks"), std::to_string(6010 + 10 - HistoryDatabase::kPruneStep));
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM cycles"), "602") << "no cycle goes before its checks";
    ASSERT_EQ(database.writeCycle(cycle(kNow + 1000, 10)), Outcome::Written);
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM checks"), "30");
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM cycles"), "3");
    EXPECT_EQ(scalar(path, "PRAGMA integrity_check"), "ok");
}

TEST_F(HistoryDatabaseTest, TheLastDaysChecksThatKnewAreReadBackForTheUptime)
{
    HistoryDatabase database(folder);
    ASSERT_EQ(database.open(), Open::Ready);
    ASSERT_EQ(database.writeCycle(cycle(kNow - 2 * kDay)), Outcome::Written);
    CycleReport report = HistoryTestData::report(kNow - 1000);
    report.targets[targetIndex(TargetKind::Cam, 1)].state = TargetReport::State::Unknown;
    ASSERT_EQ(database.writeCycle(HistoryCycle::from(report)), Outcome::Written);
    RecentUptime uptime;
    for (const HistoryDatabase::RecentCheck& check : database.checksSince(kNow - kDay))
        uptime.add(check.kind, check.number, check.text, check.endedMs, check.up);
    EXPECT_EQ(uptime.ratio(QStringLiteral("camera"), 1, QStringLiteral("192.168.1.21"), kNow), std::nullopt)
        << "an unknown neither raises nor lowers it";
    EXPECT_EQ(uptime.ratio(QStringLiteral("camera"), 2, QStringLiteral("192.168.1.22"), kNow), 0.0);
    EXPECT_EQ(uptime.ratio(QStringLiteral("camera"), 3, QStringLiteral("192.168.1.23"), kNow), 1.0);
}

// Series that no target names any more are let go once there are many, and those of the last day stay.
TEST(RecentUptime, SeriesWithNothingInTheLastDayGoOnceThereAreMany)
{
    RecentUptime uptime;
    for (int i = 0; i < RecentUptime::kSeriesKept - 1; ++i)
        uptime.add(QStringLiteral("camera"), 1, QStringLiteral("10.0.1.%1").arg(i), kNow - 2 * kDay, true);
    uptime.add(QStringLiteral("camera"), 2, QStringLiteral("10.0.0.2"), kNow - 1000, false);
    EXPECT_EQ(uptime.seriesHeld(), RecentUptime::kSeriesKept) << "not many yet";
    uptime.add(QStringLiteral("camera"), 1, QStringLiteral("10.0.0.1"), kNow, true);
    EXPECT_EQ(uptime.seriesHeld(), 2);
    EXPECT_EQ(uptime.ratio(QStringLiteral("camera"), 2, QStringLiteral("10.0.0.2"), kNow), 0.0);
}

// The uptime kept in memory: rows placed by their time, whatever order they came in, and a day's span.
struct UptimeRow {
    const char* name;
    std::vector<std::pair<int64_t, bool>> checks; // ms before now, up
    std::optional<double> expected;
};

void PrintTo(const UptimeRow& row, std::ostream* out)
{
    *out << row.name;
}

class RecentUptimeTable : public ::testing::TestWithParam<UptimeRow> {};

TEST_P(RecentUptimeTable, CountsTheLastDaysChecksThatKnew)
{
    RecentUptime uptime;
    for (const auto& [before, up] : GetParam().checks)
        uptime.add(QStringLiteral("device"), 1, QStringLiteral("10.0.0.1"), kNow - before, up);
    EXPECT_EQ(uptime.ratio(QStringLiteral("device"), 1, QStringLiteral("10.0.0.1"), kNow), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecentUptimeTable,
    ::testing::Values(UptimeRow{"NothingYet", {}, std::nullopt}, UptimeRow{"OneUp", {{0, true}}, 1.0},
                      UptimeRow{"ThreeUpOneDown", {{0, true}, {1000, false}, {2000, true}, {3000, true}}, 0.75},
                      UptimeRow{"OlderThanADayIsLeftOut", {{kDay + 1, false}, {0, true}}, 1.0},
                      UptimeRow{"OnlyOlderThanADay", {{kDay + 1, false}}, std::nullopt},
                      UptimeRow{"OutOfOrderAfterAClockStep", {{-5000, false}, {kDay + 5, false}, {10, true}}, 0.5}),
    [](const ::testing::TestParamInfo<UptimeRow>& info) { return std::string(info.param.name); });

} // namespace
