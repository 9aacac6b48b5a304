#include "history/RecentUptime.h"

#include <algorithm>

QString RecentUptime::key(const QString& kind, int number, const QString& text)
{
    return kind + QLatin1Char('|') + QString::number(number) + QLatin1Char('|') + text;
}

void RecentUptime::add(const QString& kind, int number, const QString& text, int64_t endedMs, bool up)
{
    checks_[key(kind, number, text)].emplace_back(endedMs, up);
    // A series no target names any more is never asked for again; once there are many, the old ones go.
    if (checks_.size() > kSeriesKept) {
        const int64_t from = endedMs - kSpanMs;
        for (auto it = checks_.begin(); it != checks_.end();) {
            std::erase_if(it.value(), [from](const auto& check) { return check.first < from; });
            it = it.value().empty() ? checks_.erase(it) : std::next(it);
        }
    }
}

std::optional<double> RecentUptime::ratio(const QString& kind, int number, const QString& text, int64_t nowMs)
{
    const auto found = checks_.find(key(kind, number, text));
    if (found == checks_.end())
        return std::nullopt;
    std::vector<std::pair<int64_t, bool>>& checks = found.value();
    const int64_t from = nowMs - kSpanMs;
    std::erase_if(checks, [from](const auto& check) { return check.first < from; });
    Uptime uptime;
    for (const auto& check : checks)
        (check.second ? uptime.up : uptime.down) += 1;
    if (checks.empty())
        checks_.erase(found);
    return uptime.ratio();
}
