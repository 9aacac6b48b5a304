#pragma once

#include "history/Uptime.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// Each series' checks that knew (up or down) over the last day, in memory, so that the status file tells each
// target's uptime at the cycle's end without waiting on the database. Placed by their time, not their order: rows
// seeded from the database may come after this run's.
class RecentUptime {
public:
    static constexpr int64_t kSpanMs = 24LL * 60 * 60 * 1000;
    // Four times the targets: beyond it, series with nothing in the last day are let go.
    static constexpr qsizetype kSeriesKept = 140;

    void add(const QString& kind, int number, const QString& text, int64_t endedMs, bool up);
    // The share up of the checks from `nowMs` less a day on; nothing before the first that knew. Older checks go.
    std::optional<double> ratio(const QString& kind, int number, const QString& text, int64_t nowMs);
    qsizetype seriesHeld() const { return checks_.size(); }

private:
    static QString key(const QString& kind, int number, const QString& text);
    QHash<QString, std::vector<std::pair<int64_t, bool>>> checks_;
};
