#pragma once

#include "history/Uptime.h"

#include <QDate>
#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// What one check of a target found, as the history keeps it.
enum class HistoryState { Up, Down, Unknown, Confirming };

struct HistoryCheck {
    int64_t endedMs = 0; // UTC
    HistoryState state = HistoryState::Unknown;
    std::optional<int64_t> rttMs;
};

// A run of checks that found a target down: from the first of them to the first later check that found it up.
struct HistoryOutage {
    int64_t startMs = 0;
    std::optional<int64_t> endMs; // none while it is still down
    int checks = 0;               // the checks made from its start until its end, the unknown ones among them

    int64_t durationMs(int64_t nowMs) const { return (endMs ? *endMs : nowMs) - startMs; }
};

// One local day of the long strip.
struct HistoryDay {
    QDate date;
    int up = 0;
    int down = 0;
    int unknown = 0; // unknown and confirming

    bool hasChecks() const { return up + down + unknown > 0; }
    bool hadFailure() const { return down > 0; }
    // The share of the checks that knew which found the target down; 0 on a day without any.
    double failedShare() const { return up + down == 0 ? 0.0 : double(down) / double(up + down); }
};

// The history's rules, apart from where the checks come from. Checks are placed by their time, never by the order
// they were kept in: a clock stepped back leaves rows out of order.
class HistoryRules {
public:
    static constexpr int64_t kHourMs = 3'600'000;
    static constexpr int64_t kDayMs = 24 * kHourMs;

    // 'up', 'down', 'unknown', 'confirming'; anything else is unknown.
    static HistoryState stateOf(const QString& name);
    static HistoryState stateOf(std::string_view name);
    static QString nameOf(HistoryState state);

    // The checks sorted by time; checks of the same time keep their order.
    static std::vector<HistoryCheck> sorted(std::vector<HistoryCheck> checks);

    // The outages in `checks` (sorted), oldest first. A check that could not be made, or a down waiting for its
    // second look, neither starts nor ends one.
    static std::vector<HistoryOutage> outages(const std::vector<HistoryCheck>& checks);

    // The uptime over the `spanMs` up to `nowMs`: a check exactly `spanMs` old counts; a check whose time lies after
    // `nowMs` (the clock stepped back since) counts too, as it was made.
    static Uptime uptime(const std::vector<HistoryCheck>& checks, int64_t nowMs, int64_t spanMs);

    // The checks of the last `spanMs`, one cell each, by time.
    static std::vector<HistoryCheck> recent(const std::vector<HistoryCheck>& checks, int64_t nowMs, int64_t spanMs);

    // One entry per local day in `zone`, the `days` days up to and including the day of `nowMs`, oldest first. A day
    // runs from local midnight to the next, 23 or 25 hours on the days the clocks change.
    static std::vector<HistoryDay> days(const std::vector<HistoryCheck>& checks, int64_t nowMs, int days,
                                        const QTimeZone& zone);

    // The outages that were going on at some time in the last `spanMs`, and how long they lasted within it.
    static std::vector<HistoryOutage> outagesWithin(const std::vector<HistoryOutage>& outages, int64_t nowMs,
                                                    int64_t spanMs);
    static int64_t downWithin(const std::vector<HistoryOutage>& outages, int64_t nowMs, int64_t spanMs);

    // "2 h 10 min", "45 min", "3 d 4 h", "under a minute".
    static QString durationText(int64_t ms);
};
