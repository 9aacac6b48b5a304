#pragma once

#include <cstdint>
#include <string>

// Makes a history database as a long run of the program would leave it, for the benchmarks that read it: every
// ~17 minutes one cycle over all 35 targets (10 devices, 10 cameras by echo, 15 processes), mostly up, with
// outages of minutes to hours, now and then a check that could not be made, and the echo's round trip for hosts.
// A down target is first 'confirming' and gets its second look 20 s later, in a cycle of its own. One camera is
// given a new address half-way, which starts a new series, as it does in the program.
//
// Written by plain SQL in the layout of HistorySchema::kCreateV1, one transaction per day of cycles, in the order
// the program writes: cycle by cycle, in time order. The same options, with a fixed end, give the same rows.
class HistoryGenerator {
public:
    struct Options {
        int days = 400;
        // The last cycle's end, UTC ms since 1970; 0 is now, so that views of the last days find them full.
        int64_t endMs = 0;
        // Mean time between scheduled cycles; each is moved by up to a minute either way, as the timer drifts.
        int64_t intervalMs = 17 * 60 * 1000;
        uint32_t seed = 1;
    };

    struct Result {
        // Empty on success; otherwise what failed, with SQLite's message.
        std::string error;
        int64_t cycles = 0;
        int64_t checks = 0;
        int64_t up = 0;
        int64_t down = 0;
        int64_t unknown = 0;
        int64_t confirming = 0;
        int series = 0;
    };

    static constexpr int kTargets = 35;

    // The address or process name a target is checked at by the end ("device", "camera" or "process", from 1): what
    // the settings of a run that wrote this history would hold.
    static std::string currentText(const std::string& kind, int number);

    // Creates the database at `path`, which must not exist yet; its -wal is checkpointed into it at the end.
    static Result generate(const std::string& path, const Options& options);
};
