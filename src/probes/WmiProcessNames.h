#pragma once

#include "probes/ProcessNameService.h"

// The running processes' executable names as Windows Management Instrumentation lists them: one binding
// and one query of Win32_Process per call, everything released before the call returns.
class WmiProcessNames : public ProcessNameService {
public:
    // Rows per round trip to the service; a workstation runs a few hundred processes.
    explicit WmiProcessNames(unsigned long rowsPerBatch = 128) : rowsPerBatch_(rowsPerBatch > 0 ? rowsPerBatch : 1) {}

    std::optional<bool> exeRunning(const std::string& name) override;

private:
    unsigned long rowsPerBatch_;
};
