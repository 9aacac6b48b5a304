#include "Spread.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct SpreadRow {
    const char* name;
    std::vector<double> runs;
    double median;
    double min;
    double max;
    bool enough;
};

void PrintTo(const SpreadRow& row, std::ostream* os)
{
    *os << row.name;
}

class SpreadTest : public testing::TestWithParam<SpreadRow> {};

TEST_P(SpreadTest, TakesTheMedianOfRunsAsTheyCameWithTheLeastAndTheMost)
{
    const SpreadRow& row = GetParam();
    const Spread spread = Spread::of(row.runs);
    EXPECT_EQ(spread.median, row.median);
    EXPECT_EQ(spread.min, row.min);
    EXPECT_EQ(spread.max, row.max);
    EXPECT_EQ(spread.enough(), row.enough);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SpreadTest,
    testing::Values(SpreadRow{"nine_unsorted", {5, 1, 9, 2, 8, 3, 7, 4, 6}, 5, 1, 9, true},
                    // Of an even count the lower middle run: a figure that was measured, not the mean of two.
                    SpreadRow{"ten_takes_the_lower_middle", {10, 1, 9, 2, 8, 3, 7, 4, 6, 5}, 5, 1, 10, true},
                    // One slow run moves the least and the most, never the median.
                    SpreadRow{"one_slow_run", {1, 1, 1, 1, 1, 1, 1, 1, 1000}, 1, 1, 1000, true},
                    SpreadRow{"eight_are_too_few", {1, 2, 3, 4, 5, 6, 7, 8}, 4, 1, 8, false},
                    SpreadRow{"none", {}, 0, 0, 0, false}),
    [](const testing::TestParamInfo<SpreadRow>& info) { return info.param.name; });

TEST(SpreadRatios, PairRunByRunAndRefuseWhatDoesNotPair)
{
    EXPECT_EQ(Spread::ratios({2, 9, 4}, {1, 3, 8}), (std::vector<double>{2, 3, 0.5}));
    EXPECT_EQ(Spread::ratios({200, 100}, {1, 2}, 1 / 100.0), (std::vector<double>{2, 0.5}));
    EXPECT_TRUE(Spread::ratios({1, 2}, {1}).empty());
    // A run that took no time gives no ratio at all, rather than an infinite one that would pass as the most.
    EXPECT_TRUE(Spread::ratios({1, 2}, {1, 0}).empty());
}

TEST(SpreadFigures, PrintsTheMedianUnderTheFiguresNameThenTheLeastAndTheMost)
{
    const Spread spread = Spread::of({1.25, 3.5, 2.125, 9, 1, 4, 5, 6, 7});
    EXPECT_EQ(spread.figures(2), "value=4.00 min=1.00 max=9.00");
    EXPECT_EQ(spread.figures(1, "ratio"), "ratio=4.0 min=1.0 max=9.0");
}

} // namespace
