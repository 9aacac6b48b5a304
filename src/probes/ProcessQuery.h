#pragma once

#include "probes/ProcessNameService.h"
#include "probes/ProcessSnapshot.h"
#include "probes/ServiceBudget.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

// Asks a ProcessNameService on a thread of its own and waits a bounded time for its answer. When the service
// does not answer in time, or cannot answer, the answer comes from the system's process table, so a running
// process is never reported missing because the service failed. While an earlier question is still unanswered
// the service is not asked again; once that answer arrives, the next question goes to the service again.
// The questions of one check cycle share a ServiceBudget, so that a slow service holds the caller up for a
// bounded time per cycle, not per question.
class ProcessQuery {
public:
    // The caller's whole question takes at most five seconds: this long for the service, the rest for the
    // process table, which answers within milliseconds.
    static constexpr std::chrono::milliseconds kServiceWait{4500};

    // Where an answer comes from when the service gives none: the system's process table.
    using TableLookup = std::optional<bool> (*)(const std::string& name);

    explicit ProcessQuery(std::unique_ptr<ProcessNameService> service,
                          std::chrono::milliseconds serviceWait = kServiceWait,
                          TableLookup table = ProcessSnapshot::exeRunning);
    // Waits only for a thread that is idle: one stuck in the service is left to end with the process.
    ~ProcessQuery();
    ProcessQuery(const ProcessQuery&) = delete;
    ProcessQuery& operator=(const ProcessQuery&) = delete;

    // A check cycle begins: the service gets its whole share of the caller's time again.
    void beginCycle() { budget_.beginCycle(); }

    // True when a process with the executable file name `name` runs, without regard to case; false when none
    // does and when `name` is empty. Empty when neither the service nor the process table could answer.
    std::optional<bool> exeRunning(const std::string& name);

private:
    struct Exchange;

    static void serve(const std::shared_ptr<Exchange>& exchange);
    std::optional<bool> askService(const std::string& name);

    // Shared with the thread, which may outlive this object while it waits on the service.
    std::shared_ptr<Exchange> exchange_;
    ServiceBudget budget_; // used on the caller's thread only
    TableLookup table_;
    std::thread thread_;
};
