#include "diagnosis/ProgramAge.h"

#include <windows.h>

std::optional<std::chrono::milliseconds> programAge()
{
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return std::nullopt;
    GetSystemTimeAsFileTime(&now);
    const auto count = [](const FILETIME& time) {
        return (static_cast<long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10'000; // from 100 ns to ms
    };
    return std::chrono::milliseconds(count(now) - count(created));
}
