#pragma once

#include "probes/ProcessNameService.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

// Asks a ProcessNameService on a thread of its own and waits a bounded time for its answer. When the service
// does not answer in time, or cannot answer, the answer comes from the system's process table, so a running
// process is never reported missing because the service failed. While an earlier question is still unanswered
// the service is not asked again; once that answer arrives, the next question goes to the service again.
class ProcessQuery {
public:
    // The caller's whole question takes at most five seconds: this long for the service, the rest for the
    // process table, which answers within milliseconds.
    static constexpr std::chrono::milliseconds kServiceWait{4500};

    explicit ProcessQuery(std::unique_ptr<ProcessNameService> service,
                          std::chrono::milliseconds serviceWait = kServiceWait);
    // Waits only for a thread that is idle: one stuck in the service is left to end with the process.
    ~ProcessQuery();
    ProcessQuery(const ProcessQuery&) = delete;
    ProcessQuery& operator=(const ProcessQuery&) = delete;

    // True when a process with the executable file name `name` runs, without regard to case; false when none
    // does and when `name` is empty.
    bool exeRunning(const std::string& name);

private:
    struct Exchange;

    static void serve(const std::shared_ptr<Exchange>& exchange);
    std::optional<bool> askService(const std::string& name);

    // Shared with the thread, which may outlive this object while it waits on the service.
    std::shared_ptr<Exchange> exchange_;
    std::chrono::milliseconds serviceWait_;
    std::thread thread_;
};
