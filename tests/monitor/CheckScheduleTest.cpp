#include "monitor/CheckSchedule.h"

#include <gtest/gtest.h>

namespace {

struct TickCase {
    QString before;
    QString after;
    bool arms;
};

void PrintTo(const TickCase& row, std::ostream* out)
{
    *out << row.before.toStdString() << " to " << row.after.toStdString() << (row.arms ? " and arms" : "");
}

class ScheduleTick : public ::testing::TestWithParam<TickCase> {};

TEST_P(ScheduleTick, WritesCounterAndArmsAtThreshold)
{
    CheckSchedule schedule;
    schedule.setText1(GetParam().before);
    schedule.tick();
    EXPECT_EQ(schedule.Text1(), GetParam().after);
    EXPECT_EQ(schedule.Timer1().isActive(), GetParam().arms);
}

INSTANTIATE_TEST_SUITE_P(Counter, ScheduleTick,
                         ::testing::Values(TickCase{"98", "99", false}, TickCase{"99", "0", true},
                                           TickCase{"100", "0", true}, TickCase{"250", "0", true},
                                           TickCase{"0", "1", false}, TickCase{"garbled", "0", true}));

TEST(CheckSchedule, FreshStartArmsOnFirstTickThenEveryHundredTicks)
{
    CheckSchedule schedule;
    EXPECT_EQ(schedule.Text1(), "0");
    EXPECT_FALSE(schedule.Timer2().isActive());
    schedule.load();
    EXPECT_EQ(schedule.Text1(), "100");
    EXPECT_TRUE(schedule.Timer2().isActive());
    EXPECT_EQ(schedule.Timer1().interval(), 10000);
    EXPECT_EQ(schedule.Timer2().interval(), 10000);
    EXPECT_FALSE(schedule.Timer1().isActive());

    schedule.tick(); // T + 10 s
    EXPECT_TRUE(schedule.Timer1().isActive());
    EXPECT_EQ(schedule.Text1(), "0");
    schedule.Timer1().stop(); // what the cycle does at its end

    int armedAt = 0;
    for (int tick = 1; tick <= 250 && armedAt == 0; ++tick) {
        schedule.tick();
        if (schedule.Timer1().isActive())
            armedAt = tick;
    }
    EXPECT_EQ(armedAt, 100);
    EXPECT_EQ(schedule.Text1(), "0");
}

TEST(CheckSchedule, PresetMakesTheNextTickArm)
{
    CheckSchedule schedule;
    schedule.load();
    schedule.tick();
    schedule.Timer1().stop();
    schedule.tick();
    schedule.tick();
    ASSERT_EQ(schedule.Text1(), "2");
    schedule.preset();
    EXPECT_EQ(schedule.Text1(), "100");
    EXPECT_FALSE(schedule.Timer1().isActive());
    schedule.tick();
    EXPECT_TRUE(schedule.Timer1().isActive());
    EXPECT_EQ(schedule.Text1(), "0");
}

} // namespace
