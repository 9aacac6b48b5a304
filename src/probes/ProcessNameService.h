#pragma once

#include <optional>
#include <string>

// Whoever can tell whether a process with a given executable file name runs: the management service, or a
// stand-in for it. It may take any time, or never answer at all; ProcessQuery bounds the wait for it.
class ProcessNameService {
public:
    virtual ~ProcessNameService() = default;

    // Called on ProcessQuery's own thread, which is in the multithreaded COM apartment. True when at least one
    // running process has an executable file name equal to `name` without regard to case, false when none has;
    // empty when the service could not answer.
    virtual std::optional<bool> exeRunning(const std::string& name) = 0;
};
