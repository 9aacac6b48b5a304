#pragma once

#include <optional>
#include <string>
#include <string_view>

// The system's own process table, which needs no service: what ProcessQuery answers from when the management
// service does not answer in time, or at all.
namespace ProcessSnapshot {

// True when a process in the table has the executable file name `name` without regard to case; false when
// none has. Empty when the table cannot be read whole.
std::optional<bool> exeRunning(const std::string& name);

// Whether the UTF-16 file name from the system and the UTF-8 `name` are the same name under
// FileNameMatch::sameName. A file name that is not valid UTF-16 matches nothing.
bool sameWideName(std::wstring_view fileName, std::string_view name);

} // namespace ProcessSnapshot
