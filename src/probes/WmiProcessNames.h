#pragma once

#include "probes/ProcessNameService.h"

// The running processes' executable names as Windows Management Instrumentation lists them: one binding
// and one query of Win32_Process per call, everything released before the call returns.
class WmiProcessNames : public ProcessNameService {
public:
    std::optional<bool> exeRunning(const std::string& name) override;
};
