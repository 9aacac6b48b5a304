#pragma once

#include <chrono>

// How long the process questions of one check cycle may wait for the management service. Every wait holds up the
// user-interface thread, so the cycle's waits together are bounded, not only each one: a service that answers each
// question just inside its own limit would otherwise hold the thread for minutes. Once the service has been slow
// or has used up the cycle's share, the cycle's remaining questions go to the process table.
class ServiceBudget {
public:
    using Duration = std::chrono::steady_clock::duration;

    // All the service may take of one cycle.
    static constexpr std::chrono::milliseconds kCycleTotal{5000};
    // An answer slower than this shows a service under strain, which the rest of the cycle does not wait on.
    static constexpr std::chrono::milliseconds kSlowAnswer{1000};

    explicit ServiceBudget(Duration perQuestion) : perQuestion_(perQuestion) {}

    // A new cycle: the service gets its whole share again.
    void beginCycle();

    // How long the next question may wait for the service; zero when it goes to the process table.
    Duration nextWait() const;

    // Counts the time a question waited for the service, answered or not.
    void charge(Duration waited);

private:
    Duration perQuestion_;
    Duration spent_{};
    bool slow_ = false;
};
