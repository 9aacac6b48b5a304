#include "history/HistoryRules.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>

namespace {

constexpr int64_t kMinute = 60'000;
constexpr int64_t kNow = 1'800'000'000'000; // a fixed "now"; every row's times are before it

struct RowCheck {
    int64_t agoMs;
    char state; // u d ? c
};

struct RowOutage {
    int64_t startAgoMs;
    std::optional<int64_t> endAgoMs;
    int checks;
};

struct RulesRow {
    const char* name;
    std::vector<RowCheck> checks; // in the order they were kept, not necessarily by time
    int up24;
    int down24;
    std::vector<RowOutage> outages;
};

// Rows are named by their name, in test output and in ctest.
void PrintTo(const RulesRow& row, std::ostream* os)
{
    *os << row.name;
}

HistoryState stateOf(char letter)
{
    switch (letter) {
    case 'u':
        return HistoryState::Up;
    case 'd':
        return HistoryState::Down;
    case 'c':
        return HistoryState::Confirming;
    default:
        return HistoryState::Unknown;
    }
}

std::vector<HistoryCheck> checksOf(const std::vector<RowCheck>& rows)
{
    std::vector<HistoryCheck> checks;
    for (const RowCheck& row : rows)
        checks.push_back({kNow - row.agoMs, stateOf(row.state), std::nullopt});
    return HistoryRules::sorted(checks);
}

const std::vector<RulesRow> kRows = {
    {"ACheckExactly24HoursOldCounts", {{24 * 60 * kMinute, 'd'}, {23 * 60 * kMinute, 'u'}}, 1, 1,
     {{24 * 60 * kMinute, 23 * 60 * kMinute, 1}}},
    {"ACheckAMillisecondOlderThan24HoursDoesNot", {{24 * 60 * kMinute + 1, 'd'}, {23 * 60 * kMinute, 'u'}}, 1, 0,
     {{24 * 60 * kMinute + 1, 23 * 60 * kMinute, 1}}},
    {"AnUnknownInsideAnOutageNeitherEndsNorSplitsIt",
     {{100 * kMinute, 'd'}, {83 * kMinute, '?'}, {66 * kMinute, 'd'}, {49 * kMinute, 'u'}}, 1, 2,
     {{100 * kMinute, 49 * kMinute, 3}}},
    {"AnUnknownStartsNoOutage", {{50 * kMinute, '?'}, {40 * kMinute, 'd'}, {30 * kMinute, 'u'}}, 1, 1,
     {{40 * kMinute, 30 * kMinute, 1}}},
    {"ConfirmingCountsInNeitherFigureAndStartsNoOutage",
     {{100 * kMinute, 'u'}, {83 * kMinute, 'c'}, {82 * kMinute, 'u'}}, 2, 0, {}},
    {"ConfirmingInsideAnOutageKeepsItGoing",
     {{100 * kMinute, 'd'}, {83 * kMinute, 'c'}, {82 * kMinute, 'd'}, {60 * kMinute, 'u'}}, 1, 2,
     {{100 * kMinute, 60 * kMinute, 3}}},
    {"AClockSteppedBackIsReadByTime", {{50 * kMinute, 'd'}, {60 * kMinute, 'u'}, {40 * kMinute, 'u'}}, 2, 1,
     {{50 * kMinute, 40 * kMinute, 1}}},
    {"AnOutageWithoutALaterUpIsStillDown", {{80 * kMinute, 'u'}, {60 * kMinute, 'd'}, {40 * kMinute, '?'}}, 1, 1,
     {{60 * kMinute, std::nullopt, 2}}},
    {"TwoOutagesApart",
     {{90 * kMinute, 'd'}, {80 * kMinute, 'u'}, {70 * kMinute, 'd'}, {60 * kMinute, 'd'}, {50 * kMinute, 'u'}}, 2, 3,
     {{90 * kMinute, 80 * kMinute, 1}, {70 * kMinute, 50 * kMinute, 2}}},
};

class HistoryRulesTable : public testing::TestWithParam<RulesRow> {};

TEST_P(HistoryRulesTable, OutagesAndUptime)
{
    const RulesRow& row = GetParam();
    const std::vector<HistoryCheck> checks = checksOf(row.checks);
    const Uptime uptime = HistoryRules::uptime(checks, kNow, HistoryRules::kDayMs);
    EXPECT_EQ(uptime.up, row.up24);
    EXPECT_EQ(uptime.down, row.down24);
    const std::vector<HistoryOutage> outages = HistoryRules::outages(checks);
    ASSERT_EQ(outages.size(), row.outages.size());
    for (size_t i = 0; i < outages.size(); ++i) {
        EXPECT_EQ(outages[i].startMs, kNow - row.outages[i].startAgoMs) << i;
        EXPECT_EQ(outages[i].endMs.has_value(), row.outages[i].endAgoMs.has_value()) << i;
        if (outages[i].endMs && row.outages[i].endAgoMs) {
            EXPECT_EQ(*outages[i].endMs, kNow - *row.outages[i].endAgoMs) << i;
        }
        EXPECT_EQ(outages[i].checks, row.outages[i].checks) << i;
    }
    // One cell per check of the last 24 hours, by time.
    const std::vector<HistoryCheck> cells = HistoryRules::recent(checks, kNow, HistoryRules::kDayMs);
    EXPECT_TRUE(std::is_sorted(cells.begin(), cells.end(),
                               [](const HistoryCheck& a, const HistoryCheck& b) { return a.endedMs < b.endedMs; }));
    EXPECT_EQ(cells.size(), size_t(std::count_if(row.checks.begin(), row.checks.end(), [](const RowCheck& check) {
                  return check.agoMs <= HistoryRules::kDayMs;
              })));
}

INSTANTIATE_TEST_SUITE_P(Rows, HistoryRulesTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<RulesRow>& info) { return std::string(info.param.name); });

int64_t berlin(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toMSecsSinceEpoch();
}

TEST(HistoryRulesTest, LocalDaysFollowTheClockChangeInSpring)
{
    const QTimeZone zone("Europe/Berlin");
    ASSERT_TRUE(zone.isValid());
    // 29 March 2026 has 23 hours in Berlin: a day counted in UTC or in fixed 24 hours puts these on the wrong day.
    const std::vector<HistoryCheck> checks = HistoryRules::sorted({
        {berlin("2026-03-28T23:30:00+01:00"), HistoryState::Up, {}},
        {berlin("2026-03-29T00:30:00+01:00"), HistoryState::Down, {}},
        {berlin("2026-03-29T23:30:00+02:00"), HistoryState::Up, {}},
        {berlin("2026-03-30T00:10:00+02:00"), HistoryState::Unknown, {}},
    });
    const std::vector<HistoryDay> days = HistoryRules::days(checks, berlin("2026-03-30T12:00:00+02:00"), 3, zone);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0].date, QDate(2026, 3, 28));
    EXPECT_EQ(days[0].up, 1);
    EXPECT_FALSE(days[0].hadFailure());
    EXPECT_EQ(days[1].date, QDate(2026, 3, 29));
    EXPECT_EQ(days[1].up, 1);
    EXPECT_EQ(days[1].down, 1);
    EXPECT_DOUBLE_EQ(days[1].failedShare(), 0.5);
    EXPECT_TRUE(days[1].hadFailure());
    EXPECT_EQ(days[2].date, QDate(2026, 3, 30));
    EXPECT_EQ(days[2].unknown, 1);
    EXPECT_TRUE(days[2].hasChecks());
    EXPECT_DOUBLE_EQ(days[2].failedShare(), 0.0);
}

TEST(HistoryRulesTest, LocalDaysFollowTheClockChangeInAutumn)
{
    const QTimeZone zone("Europe/Berlin");
    // 25 October 2026 has 25 hours; both of its ends belong to it.
    const std::vector<HistoryCheck> checks = HistoryRules::sorted({
        {berlin("2026-10-25T00:30:00+02:00"), HistoryState::Down, {}},
        {berlin("2026-10-25T02:30:00+02:00"), HistoryState::Down, {}},
        {berlin("2026-10-25T02:30:00+01:00"), HistoryState::Up, {}},
        {berlin("2026-10-25T23:30:00+01:00"), HistoryState::Up, {}},
        {berlin("2026-10-26T00:30:00+01:00"), HistoryState::Up, {}},
    });
    const std::vector<HistoryDay> days = HistoryRules::days(checks, berlin("2026-10-26T08:00:00+01:00"), 2, zone);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].date, QDate(2026, 10, 25));
    EXPECT_EQ(days[0].down, 2);
    EXPECT_EQ(days[0].up, 2);
    EXPECT_EQ(days[1].up, 1);
    EXPECT_FALSE(days[1].hadFailure());
}

TEST(HistoryRulesTest, TimeDownWithinADayCountsOnlyItsPartOfALongerOutage)
{
    const std::vector<HistoryOutage> outages = {{kNow - 30 * 60 * kMinute, kNow - 22 * 60 * kMinute, 20},
                                                {kNow - 60 * kMinute, kNow - 20 * kMinute, 3},
                                                {kNow - 10 * kMinute, std::nullopt, 1},
                                                {kNow - 50 * 60 * kMinute, kNow - 49 * 60 * kMinute, 2}};
    EXPECT_EQ(HistoryRules::outagesWithin(outages, kNow, HistoryRules::kDayMs).size(), 3u);
    EXPECT_EQ(HistoryRules::downWithin(outages, kNow, HistoryRules::kDayMs),
              (2 * 60 + 40 + 10) * kMinute);
}

TEST(HistoryRulesTest, DurationsReadAsWords)
{
    EXPECT_EQ(HistoryRules::durationText(30'000), "under a minute");
    EXPECT_EQ(HistoryRules::durationText(45 * kMinute), "45 min");
    EXPECT_EQ(HistoryRules::durationText(130 * kMinute), "2 h 10 min");
    EXPECT_EQ(HistoryRules::durationText(120 * kMinute), "2 h");
    EXPECT_EQ(HistoryRules::durationText((3 * 24 + 4) * 60 * kMinute + 59'999), "3 d 4 h");
}

TEST(HistoryRulesTest, StateNamesGoBothWaysAndAStrangeOneIsUnknown)
{
    for (HistoryState state : {HistoryState::Up, HistoryState::Down, HistoryState::Unknown, HistoryState::Confirming})
        EXPECT_EQ(HistoryRules::stateOf(HistoryRules::nameOf(state)), state);
    EXPECT_EQ(HistoryRules::stateOf(QStringLiteral("UP")), HistoryState::Unknown);
}

} // namespace
