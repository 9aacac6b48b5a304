#pragma once

#include <chrono>
#include <optional>

// How long ago the system started this process, loading of its libraries included, which the program's own
// clocks do not see; nothing where the system does not tell.
std::optional<std::chrono::milliseconds> programAge();
