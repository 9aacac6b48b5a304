#include "probes/ServiceBudget.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using Duration = ServiceBudget::Duration;

constexpr Duration kPerQuestion = 4500ms;

// Asks questions that each take `answerTime` (or the whole wait when that is shorter) until the budget sends the
// rest to the process table; returns the waits it was given, in order.
std::vector<Duration> waitsUntilExhausted(ServiceBudget& budget, Duration answerTime)
{
    std::vector<Duration> waits;
    for (Duration wait = budget.nextWait(); wait > 0ms && waits.size() < 100; wait = budget.nextWait()) {
        waits.push_back(wait);
        budget.charge(std::min(wait, answerTime));
    }
    return waits;
}

// A service answering each question just under the slow mark still gets no more than the cycle's share: the last
// question waits only for what is left of it.
TEST(ServiceBudget, TheCycleTogetherWaitsAtMostItsShare)
{
    ServiceBudget budget(kPerQuestion);
    EXPECT_EQ(waitsUntilExhausted(budget, 900ms),
              (std::vector<Duration>{4500ms, 4100ms, 3200ms, 2300ms, 1400ms, 500ms}));
    EXPECT_EQ(budget.nextWait(), 0ms);
}

TEST(ServiceBudget, OneSlowAnswerSendsTheRestOfTheCycleToTheTable)
{
    ServiceBudget budget(kPerQuestion);
    EXPECT_EQ(waitsUntilExhausted(budget, 4400ms), std::vector<Duration>{4500ms});
    ServiceBudget justInTime(kPerQuestion);
    justInTime.charge(ServiceBudget::kSlowAnswer);
    EXPECT_EQ(justInTime.nextWait(), 4000ms) << "an answer of exactly the slow mark is not slow";
    justInTime.charge(ServiceBudget::kSlowAnswer + 1ns);
    EXPECT_EQ(justInTime.nextWait(), 0ms);
}

TEST(ServiceBudget, EachCycleBeginsWithTheWholeShare)
{
    ServiceBudget budget(kPerQuestion);
    budget.charge(4400ms);
    budget.charge(600ms);
    ASSERT_EQ(budget.nextWait(), 0ms);
    budget.beginCycle();
    EXPECT_EQ(waitsUntilExhausted(budget, 900ms).size(), 6u);
    budget.beginCycle();
    EXPECT_EQ(budget.nextWait(), kPerQuestion);
}

} // namespace
