#include "HistoryGenerator.h"
#include "history/HistorySchema.h"
#include "history/SqliteConnection.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace {

constexpr int64_t kEndMs = 1'795'000'000'000; // a fixed end, so that every run of the test sees the same rows
constexpr int kDays = 30;

class HistoryGeneratorTest : public testing::Test {
protected:
    void SetUp() override
    {
        options_.days = kDays;
        options_.endMs = kEndMs;
        options_.seed = 7;
        path_ = QFile::encodeName(dir_.path(QStringLiteral("history.sqlite"))).toStdString();
        result_ = HistoryGenerator::generate(path_, options_);
        ASSERT_EQ(result_.error, "");
        ASSERT_EQ(db_.open(path_, SQLITE_OPEN_READONLY), SQLITE_OK);
    }

    int64_t number(const std::string& sql)
    {
        SqliteStatement statement(db_, sql);
        EXPECT_EQ(statement.prepared(), SQLITE_OK) << sql << ": " << db_.errorMessage();
        EXPECT_EQ(statement.step(), SQLITE_ROW) << sql;
        return statement.integer(0);
    }

    TempDir dir_;
    HistoryGenerator::Options options_;
    std::string path_;
    HistoryGenerator::Result result_;
    SqliteConnection db_;
};

TEST_F(HistoryGeneratorTest, WritesTheProgramsLayoutWholeAndCheckpointed)
{
    SqliteStatement check(db_, "PRAGMA integrity_check");
    ASSERT_EQ(check.step(), SQLITE_ROW);
    EXPECT_EQ(check.text(0), "ok");
    EXPECT_EQ(number("PRAGMA user_version"), HistorySchema::kVersion);
    EXPECT_EQ(number("SELECT count(*) FROM checks"), result_.checks);
    EXPECT_EQ(number("SELECT count(*) FROM cycles"), result_.cycles);
    EXPECT_EQ(number("SELECT count(*) FROM series"), result_.series);
    const QString wal = QString::fromStdString(path_) + QStringLiteral("-wal");
    EXPECT_TRUE(!QFile::exists(wal) || QFile(wal).size() == 0) << "the -wal was left with content";
}

TEST_F(HistoryGeneratorTest, OneScheduledCycleOfAllTargetsEverySeventeenMinutesUpToTheEnd)
{
    const int64_t scheduled = int64_t(kDays) * 24 * 60 / 17;
    EXPECT_EQ(number("SELECT count(*) FROM cycles WHERE started_by IN ('schedule', 'X')"), scheduled);
    EXPECT_EQ(number("SELECT count(*) FROM (SELECT cycle FROM checks JOIN cycles ON cycles.id = cycle "
                     "WHERE started_by != 'second look' GROUP BY cycle HAVING count(*) != 35)"),
              0);
    EXPECT_EQ(number("SELECT max(ended_ms) FROM cycles WHERE started_by != 'second look'"), kEndMs);
    EXPECT_GT(number("SELECT min(ended_ms) FROM cycles"), kEndMs - int64_t(kDays) * 24 * 3600 * 1000);
    // Each check carries its cycle's end.
    EXPECT_EQ(number("SELECT count(*) FROM checks JOIN cycles ON cycles.id = cycle "
                     "WHERE checks.ended_ms != cycles.ended_ms"),
              0);
}

TEST_F(HistoryGeneratorTest, MostlyUpWithOutagesUnknownsAndSecondLooks)
{
    EXPECT_GT(double(result_.up) / double(result_.checks), 0.95);
    EXPECT_GT(result_.down, 0);
    EXPECT_GT(result_.unknown, 0);
    EXPECT_GT(result_.confirming, 0);
    EXPECT_EQ(result_.up + result_.down + result_.unknown + result_.confirming, result_.checks);
    // An outage lasting longer than one scheduled cycle, as a real one does now and then.
    EXPECT_GT(number("SELECT count(*) FROM checks a JOIN cycles ca ON ca.id = a.cycle JOIN checks b "
                     "ON b.series = a.series AND b.ended_ms > a.ended_ms JOIN cycles cb ON cb.id = b.cycle "
                     "WHERE a.state = 'down' AND b.state = 'down' AND ca.started_by = 'schedule' "
                     "AND cb.started_by = 'schedule' AND b.ended_ms - a.ended_ms < 20 * 60 * 1000"),
              0);
    // Every second look follows a 'confirming' of the same series 20 s before, and looks at nothing else.
    EXPECT_EQ(number("SELECT count(*) FROM checks c JOIN cycles ON cycles.id = c.cycle "
                     "WHERE started_by = 'second look' AND NOT EXISTS (SELECT 1 FROM checks f "
                     "WHERE f.series = c.series AND f.ended_ms = c.ended_ms - 20000 AND f.state = 'confirming')"),
              0);
    EXPECT_GT(number("SELECT count(*) FROM cycles WHERE started_by = 'second look'"), 0);
}

TEST_F(HistoryGeneratorTest, RoundTripsOnlyForHostsFoundUp)
{
    EXPECT_EQ(number("SELECT count(*) FROM checks JOIN series ON series.id = series "
                     "WHERE rtt_ms IS NOT NULL AND (kind = 'process' OR state != 'up')"),
              0);
    EXPECT_GT(number("SELECT count(*) FROM checks JOIN series ON series.id = series "
                     "WHERE rtt_ms IS NOT NULL AND kind = 'camera'"),
              0);
}

TEST_F(HistoryGeneratorTest, ACameraGivenANewAddressStartsANewSeries)
{
    EXPECT_EQ(result_.series, 36);
    EXPECT_EQ(number("SELECT count(*) FROM series WHERE kind = 'camera' AND number = 3"), 2);
    // The old address's checks all come before the new one's.
    EXPECT_LT(number("SELECT max(ended_ms) FROM checks JOIN series ON series.id = series "
                     "WHERE kind = 'camera' AND number = 3 AND text = '192.168.1.23'"),
              number("SELECT min(ended_ms) FROM checks JOIN series ON series.id = series "
                     "WHERE kind = 'camera' AND number = 3 AND text = '192.168.1.123'"));
}

TEST_F(HistoryGeneratorTest, TheCurrentTextsNameEachTargetsNewestSeries)
{
    // What the benchmarks put in the settings must find the series the last cycle wrote, one per target.
    SqliteStatement newest(db_, "SELECT s.kind, s.number, s.text FROM series s JOIN checks c ON c.series = s.id "
                                "WHERE c.ended_ms = (SELECT max(ended_ms) FROM cycles WHERE started_by = 'schedule')");
    int found = 0;
    while (newest.step() == SQLITE_ROW) {
        ++found;
        EXPECT_EQ(HistoryGenerator::currentText(newest.text(0), int(newest.integer(1))), newest.text(2))
            << newest.text(0) << " " << newest.integer(1);
    }
    EXPECT_EQ(found, HistoryGenerator::kTargets);
    EXPECT_EQ(HistoryGenerator::currentText("camera", 3), "192.168.1.123");
    EXPECT_EQ(HistoryGenerator::currentText("camera", 4), "192.168.1.24");
}

TEST_F(HistoryGeneratorTest, TheSameOptionsGiveTheSameRows)
{
    const std::string again = QFile::encodeName(dir_.path(QStringLiteral("again.sqlite"))).toStdString();
    const HistoryGenerator::Result second = HistoryGenerator::generate(again, options_);
    ASSERT_EQ(second.error, "");
    EXPECT_EQ(second.checks, result_.checks);
    EXPECT_EQ(second.down, result_.down);
    EXPECT_EQ(second.unknown, result_.unknown);
    const int64_t sum = number("SELECT sum(ended_ms % 1000003 + coalesce(rtt_ms, 7) + length(state)) FROM checks");
    db_.close();
    ASSERT_EQ(db_.open(again, SQLITE_OPEN_READONLY), SQLITE_OK);
    EXPECT_EQ(number("SELECT sum(ended_ms % 1000003 + coalesce(rtt_ms, 7) + length(state)) FROM checks"), sum);
}

TEST(HistoryGeneratorRefusals, AFileAlreadyThereIsLeftAsItIs)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("history.sqlite"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("someone's data");
    file.close();
    const HistoryGenerator::Result result = HistoryGenerator::generate(QFile::encodeName(path).toStdString(), {});
    EXPECT_NE(result.error, "");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "someone's data");
}

TEST(HistoryGeneratorRefusals, ALinkPlantedAtTheNameIsNotFollowed)
{
    TempDir dir;
    const QString target = dir.path(QStringLiteral("elsewhere"));
    const QString path = dir.path(QStringLiteral("history.sqlite"));
    std::filesystem::create_symlink(QFile::encodeName(target).toStdString(), QFile::encodeName(path).toStdString());
    const HistoryGenerator::Result result = HistoryGenerator::generate(QFile::encodeName(path).toStdString(), {});
    EXPECT_NE(result.error, "");
    EXPECT_FALSE(QFile::exists(target)) << "the generator wrote through the link";
}

} // namespace
