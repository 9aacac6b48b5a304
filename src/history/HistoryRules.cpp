#include "history/HistoryRules.h"

#include "history/HistorySchema.h"

#include <algorithm>

HistoryState HistoryRules::stateOf(const QString& name)
{
    if (name == QLatin1String(HistorySchema::kUp))
        return HistoryState::Up;
    if (name == QLatin1String(HistorySchema::kDown))
        return HistoryState::Down;
    if (name == QLatin1String(HistorySchema::kConfirming))
        return HistoryState::Confirming;
    return HistoryState::Unknown;
}

HistoryState HistoryRules::stateOf(std::string_view name)
{
    if (name == HistorySchema::kUp)
        return HistoryState::Up;
    if (name == HistorySchema::kDown)
        return HistoryState::Down;
    if (name == HistorySchema::kConfirming)
        return HistoryState::Confirming;
    return HistoryState::Unknown;
}

QString HistoryRules::nameOf(HistoryState state)
{
    switch (state) {
    case HistoryState::Up:
        return QString::fromLatin1(HistorySchema::kUp);
    case HistoryState::Down:
        return QString::fromLatin1(HistorySchema::kDown);
    case HistoryState::Confirming:
        return QString::fromLatin1(HistorySchema::kConfirming);
    case HistoryState::Unknown:
        break;
    }
    return QString::fromLatin1(HistorySchema::kUnknown);
}

std::vector<HistoryCheck> HistoryRules::sorted(std::vector<HistoryCheck> checks)
{
    std::stable_sort(checks.begin(), checks.end(),
                     [](const HistoryCheck& a, const HistoryCheck& b) { return a.endedMs < b.endedMs; });
    return checks;
}

std::vector<HistoryOutage> HistoryRules::outages(const std::vector<HistoryCheck>& checks)
{
    std::vector<HistoryOutage> found;
    bool open = false;
    for (const HistoryCheck& check : checks) {
        if (open && check.state == HistoryState::Up) {
            found.back().endMs = check.endedMs;
            open = false;
        } else if (open) {
            ++found.back().checks;
        } else if (check.state == HistoryState::Down) {
            found.push_back({check.endedMs, std::nullopt, 1});
            open = true;
        }
    }
    return found;
}

Uptime HistoryRules::uptime(const std::vector<HistoryCheck>& checks, int64_t nowMs, int64_t spanMs)
{
    Uptime uptime;
    for (const HistoryCheck& check : checks) {
        if (check.endedMs < nowMs - spanMs)
            continue;
        if (check.state == HistoryState::Up)
            ++uptime.up;
        else if (check.state == HistoryState::Down)
            ++uptime.down;
    }
    return uptime;
}

std::vector<HistoryCheck> HistoryRules::recent(const std::vector<HistoryCheck>& checks, int64_t nowMs, int64_t spanMs)
{
    std::vector<HistoryCheck> cells;
    std::copy_if(checks.begin(), checks.end(), std::back_inserter(cells),
                 [from = nowMs - spanMs](const HistoryCheck& check) { return check.endedMs >= from; });
    return sorted(std::move(cells));
}

std::vector<HistoryDay> HistoryRules::days(const std::vector<HistoryCheck>& checks, int64_t nowMs, int days,
                                           const QTimeZone& zone)
{
    if (days <= 0)
        return {};
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs, zone).date();
    const QDate first = today.addDays(-(days - 1));
    std::vector<HistoryDay> result(static_cast<size_t>(days));
    for (int i = 0; i < days; ++i)
        result[size_t(i)].date = first.addDays(i);
    // Each day from its local midnight to the next, as the zone's rules have them, so that a day of 23 or 25 hours
    // holds what it held on the wall clock. Worked out once per day rather than once per check: a zone's
    // conversion is slow, and 90 days hold a quarter of a million checks.
    std::vector<int64_t> starts;
    starts.reserve(size_t(days) + 1);
    for (int i = 0; i <= days; ++i)
        starts.push_back(QDateTime(first.addDays(i), QTime(0, 0), zone).toMSecsSinceEpoch());
    for (const HistoryCheck& check : checks) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), check.endedMs);
        if (next == starts.begin() || next == starts.end())
            continue;
        HistoryDay& day = result[size_t(next - starts.begin() - 1)];
        if (check.state == HistoryState::Up)
            ++day.up;
        else if (check.state == HistoryState::Down)
            ++day.down;
        else
            ++day.unknown;
    }
    return result;
}

std::vector<HistoryOutage> HistoryRules::outagesWithin(const std::vector<HistoryOutage>& outages, int64_t nowMs,
                                                       int64_t spanMs)
{
    std::vector<HistoryOutage> within;
    std::copy_if(outages.begin(), outages.end(), std::back_inserter(within),
                 [from = nowMs - spanMs](const HistoryOutage& outage) { return !outage.endMs || *outage.endMs >= from; });
    return within;
}

int64_t HistoryRules::downWithin(const std::vector<HistoryOutage>& outages, int64_t nowMs, int64_t spanMs)
{
    const int64_t from = nowMs - spanMs;
    int64_t total = 0;
    for (const HistoryOutage& outage : outagesWithin(outages, nowMs, spanMs)) {
        const int64_t end = outage.endMs ? *outage.endMs : nowMs;
        total += std::max<int64_t>(0, end - std::max(from, outage.startMs));
    }
    return total;
}

QString HistoryRules::durationText(int64_t ms)
{
    const int64_t minutes = std::max<int64_t>(0, ms) / 60'000;
    if (minutes == 0)
        return QStringLiteral("under a minute");
    const int64_t days = minutes / (24 * 60);
    const int64_t hours = minutes / 60 % 24;
    const int64_t rest = minutes % 60;
    if (days > 0)
        return hours > 0 ? QStringLiteral("%1 d %2 h").arg(days).arg(hours) : QStringLiteral("%1 d").arg(days);
    if (hours > 0)
        return rest > 0 ? QStringLiteral("%1 h %2 min").arg(hours).arg(rest) : QStringLiteral("%1 h").arg(hours);
    return QStringLiteral("%1 min").arg(rest);
}
