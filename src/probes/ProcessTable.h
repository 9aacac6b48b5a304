#pragma once

#include <string>

// True exactly when at least one running process has an executable file name equal to `name`,
// without regard to letter case. False when none has, when `name` is empty, and when the
// process list cannot be read.
bool exeRunning(const std::string& name);
