#include "history/HistoryCommand.h"
#include "history/HistoryReader.h"
#include "support/HistoryRows.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int64_t kMinute = 60'000;
constexpr int64_t kNow = 1'800'000'000'000;

class HistoryReaderTest : public testing::Test {
protected:
    std::string dbPath() const { return QFile::encodeName(dir_.path(HistorySchema::kFileName)).toStdString(); }
    QString folder() const { return dir_.path(); }

    // Cam3 went down for two checks 2 h ago; Device1 stayed up; an older camera at Cam3's place is another series.
    void fill(HistoryRows& rows)
    {
        ASSERT_TRUE(rows.ok());
        old_ = rows.series("camera", 3, "Cam3", "192.168.1.99");
        cam_ = rows.series("camera", 3, "Cam3", "192.168.1.23");
        device_ = rows.series("device", 1, "Device1", "10.0.0.1");
        rows.check(old_, kNow - 10 * HistoryRules::kDayMs, "down");
        rows.checks(cam_, kNow - 5 * 60 * kMinute, 17 * kMinute, 10, [](int i) {
            return i == 3 || i == 4 ? "down" : i == 5 ? "unknown" : "up";
        });
        rows.check(device_, kNow - 3 * HistoryRules::kDayMs, "up", 4);
        rows.check(device_, kNow - 60 * kMinute, "up", 2);
        ASSERT_TRUE(rows.ok());
    }

    TempDir dir_;
    int64_t old_ = 0, cam_ = 0, device_ = 0;
};

TEST_F(HistoryReaderTest, AMissingFileIsNoHistoryAndIsNotMade)
{
    HistoryReader reader(folder());
    QString why;
    EXPECT_EQ(reader.open(&why), HistoryReader::NoHistory);
    EXPECT_EQ(why, "no history yet");
    EXPECT_TRUE(QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
    EXPECT_EQ(HistoryReader(dir_.path("missing-folder")).open(), HistoryReader::NoHistory);
    EXPECT_FALSE(QFileInfo::exists(dir_.path("missing-folder")));
}

TEST_F(HistoryReaderTest, AFileOfAnotherKindIsNotRead)
{
    QFile file(dir_.path(HistorySchema::kFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    QString why;
    EXPECT_EQ(HistoryReader(folder()).open(&why), HistoryReader::Failed);
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(HistoryReaderTest, ChecksOfASeriesAreReadByTheKeyWithoutAScan)
{
    HistoryRows rows(dbPath());
    fill(rows);
    HistoryReader reader(folder());
    ASSERT_EQ(reader.open(), HistoryReader::Ok);
    SqliteStatement plan(reader.connection(), std::string("EXPLAIN QUERY PLAN ") + HistoryReader::kChecksQuery);
    plan.bind(1, int64_t(1));
    plan.bind(2, int64_t(0));
    plan.bind(3, int64_t(1));
    QStringList steps;
    while (plan.step() == SQLITE_ROW)
        steps << QString::fromStdString(plan.text(3));
    ASSERT_FALSE(steps.isEmpty());
    for (const QString& step : steps)
        EXPECT_FALSE(step.startsWith(QStringLiteral("SCAN"))) << step.toStdString();
    EXPECT_TRUE(steps.join(' ').contains(QStringLiteral("SEARCH checks USING PRIMARY KEY"))) << steps.join('|').toStdString();
}

TEST_F(HistoryReaderTest, SeriesAndChecksComeBackAndOnlyTheCurrentTextIsShown)
{
    HistoryRows rows(dbPath());
    fill(rows);
    HistoryReader reader(folder());
    ASSERT_EQ(reader.open(), HistoryReader::Ok);
    const std::vector<HistorySeries> all = reader.series();
    ASSERT_EQ(all.size(), 3u);
    const std::vector<HistoryCheck> checks = reader.checks(cam_, kNow - HistoryRules::kDayMs, kNow);
    ASSERT_EQ(checks.size(), 10u);
    EXPECT_EQ(checks[3].state, HistoryState::Down);
    EXPECT_EQ(reader.checks(device_, 0, kNow).back().rttMs, std::optional<int64_t>(2));
    EXPECT_EQ(reader.checks(device_, kNow - 2 * HistoryRules::kDayMs, kNow).size(), 1u);

    // Cam3 now has the new address; Device1 is no longer enabled.
    const std::vector<HistorySeries> shown =
        HistoryReader::current(all, [](TargetKind kind, int number) -> std::optional<QString> {
            if (kind == TargetKind::Cam && number == 3)
                return QStringLiteral("192.168.1.23");
            return std::nullopt;
        });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].id, cam_);
}

TEST_F(HistoryReaderTest, ReadsWhileAWriteIsUnderWay)
{
    HistoryRows rows(dbPath());
    fill(rows);
    ASSERT_EQ(rows.connection().exec("BEGIN IMMEDIATE"), SQLITE_OK);
    rows.check(device_, kNow - kMinute, "down");
    HistoryReader reader(folder());
    ASSERT_EQ(reader.open(), HistoryReader::Ok);
    QString error;
    EXPECT_EQ(reader.checks(device_, 0, kNow, &error).size(), 2u);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(rows.connection().exec("COMMIT"), SQLITE_OK);
    EXPECT_EQ(reader.checks(device_, 0, kNow).size(), 3u);
}

struct CommandRow {
    const char* name;
    HistoryCommand::Options options;
    bool filled;
    int code;
    QStringList contains;
    QStringList lacks;
};

// Rows are named by their name, in test output and in ctest.
void PrintTo(const CommandRow& row, std::ostream* os)
{
    *os << row.name;
}

class HistoryCommandTable : public HistoryReaderTest, public testing::WithParamInterface<CommandRow> {};

TEST_P(HistoryCommandTable, Prints)
{
    const CommandRow& row = GetParam();
    std::optional<HistoryRows> rows;
    if (row.filled) {
        rows.emplace(dbPath());
        fill(*rows);
    }
    QString out, error;
    EXPECT_EQ(HistoryCommand::run(folder(), row.options, out, error, kNow, QTimeZone::utc()), row.code) << error.toStdString();
    const QString all = out + error;
    for (const QString& text : row.contains)
        EXPECT_TRUE(all.contains(text)) << text.toStdString() << " not in:\n" << all.toStdString();
    for (const QString& text : row.lacks)
        EXPECT_FALSE(all.contains(text)) << text.toStdString() << " in:\n" << all.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HistoryCommandTable,
    testing::Values(
        CommandRow{"NoFileIsUnknown", {}, false, 3, {"no history yet"}, {}},
        CommandRow{"OneLinePerTargetWithItsLatestText",
                   {},
                   true,
                   0,
                   {"Cam3 (192.168.1.23): uptime 24h 77.8 % (7/9), 7d 77.8 % (7/9)",
                    "1 outage in 90 d; last outage: 2027-01-15T03:51:00+00:00 to 2027-01-15T04:42:00+00:00, 51 min",
                    "Device1 (10.0.0.1): uptime 24h 100.0 % (1/1), 7d 100.0 % (2/2)", "0 outages in 90 d; last outage: none"},
                   {"192.168.1.99"}},
        CommandRow{"OutagesNewestFirst",
                   {HistoryCommand::Outages, 90},
                   true,
                   0,
                   {"Cam3 (192.168.1.23): 2027-01-15T03:51:00+00:00 to 2027-01-15T04:42:00+00:00, 51 min, 3 checks"},
                   {"Device1"}},
        CommandRow{"DaysBoundTheChecks",
                   {HistoryCommand::Csv, 1},
                   true,
                   0,
                   {"time,kind,number,name,text,state,rtt_ms\r\n",
                    "2027-01-15T03:51:00+00:00,camera,3,Cam3,192.168.1.23,down,\r\n",
                    "device,1,Device1,10.0.0.1,up,2\r\n"},
                   {",4\r\n"}},
        CommandRow{"AllDaysHaveAllChecks", {HistoryCommand::Csv, 5}, true, 0, {"device,1,Device1,10.0.0.1,up,4\r\n"}, {}}),
    [](const testing::TestParamInfo<CommandRow>& info) { return std::string(info.param.name); });

TEST_F(HistoryReaderTest, JsonParsesAndHoldsTheSameFigures)
{
    HistoryRows rows(dbPath());
    fill(rows);
    QString out, error;
    ASSERT_EQ(HistoryCommand::run(folder(), {HistoryCommand::Json, 90}, out, error, kNow, QTimeZone::utc()), 0);
    QJsonParseError parsed;
    const QJsonObject document = QJsonDocument::fromJson(out.toUtf8(), &parsed).object();
    ASSERT_EQ(parsed.error, QJsonParseError::NoError) << out.toStdString();
    const QJsonArray targets = document.value("targets").toArray();
    ASSERT_EQ(targets.size(), 2);
    // In the cycle's order: devices before cameras.
    EXPECT_EQ(targets[0]["name"].toString(), "Device1");
    QJsonObject cam;
    for (const QJsonValue& target : targets)
        if (target["name"].toString() == "Cam3")
            cam = target.toObject();
    EXPECT_EQ(cam["text"].toString(), "192.168.1.23");
    EXPECT_EQ(cam["uptime"].toObject()["24h"].toObject()["up"].toInt(), 7);
    EXPECT_EQ(cam["uptime"].toObject()["24h"].toObject()["checks"].toInt(), 9);
    ASSERT_EQ(cam["outages"].toArray().size(), 1);
    EXPECT_EQ(cam["outages"][0]["checks"].toInt(), 3);
    EXPECT_EQ(cam["outages"][0]["duration_s"].toInt(), 51 * 60);
}

} // namespace
