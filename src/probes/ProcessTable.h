#pragma once

#include <optional>
#include <string>

// True exactly when at least one running process has an executable file name equal to `name`,
// without regard to letter case. False when none has and when `name` is empty. Empty when the
// process list cannot be read: nothing is then known either way.
std::optional<bool> exeRunning(const std::string& name);

// A check cycle begins: what the lookups of one cycle may take is counted afresh.
void beginProcessCycle();
