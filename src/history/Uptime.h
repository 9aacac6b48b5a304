#pragma once

#include <optional>

// The share of checks that found a target up. Only checks that knew count: a check that could not be made
// ("unknown") and a down still waiting for its second look ("confirming") are in neither figure, the same rule as the
// notices, so an hour of unknowns neither raises nor lowers it.
struct Uptime {
    int up = 0;
    int down = 0;

    int checks() const { return up + down; }
    // Nothing before the first check that knew.
    std::optional<double> ratio() const
    {
        if (checks() == 0)
            return std::nullopt;
        return double(up) / double(checks());
    }
};
