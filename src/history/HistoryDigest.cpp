#include "history/HistoryDigest.h"

#include <limits>

HistoryDigest::Result HistoryDigest::read(const QString& folder, const std::vector<Enabled>& enabled, int64_t nowMs,
                                          const QTimeZone& zone)
{
    Result result;
    HistoryReader reader(folder);
    result.opened = reader.open(&result.why);
    if (result.opened != HistoryReader::Ok)
        return result;
    const std::vector<HistorySeries> shown =
        HistoryReader::current(reader.series(&result.why), [&enabled](TargetKind kind, int number) {
            for (const Enabled& target : enabled)
                if (target.kind == kind && target.number == number)
                    return std::optional<QString>(target.text);
            return std::optional<QString>();
        });
    // A day more than 90, so that the oldest local day is whole whatever the zone.
    const int64_t fromMs = nowMs - (kDays + 1) * HistoryRules::kDayMs;
    for (const HistorySeries& series : shown) {
        QString error;
        std::vector<HistoryCheck> checks =
            HistoryRules::sorted(reader.checks(series.id, fromMs, std::numeric_limits<int64_t>::max(), &error));
        if (!error.isEmpty()) {
            result.opened = HistoryReader::Failed;
            result.why = error;
            return result;
        }
        TargetHistory target;
        target.series = series;
        target.recent = HistoryRules::recent(checks, nowMs, HistoryRules::kDayMs);
        target.days = HistoryRules::days(checks, nowMs, kDays, zone);
        for (size_t i = 0; i < kSpans.size(); ++i)
            target.uptime[i] = HistoryRules::uptime(checks, nowMs, kSpans[i]);
        target.outages = HistoryRules::outages(checks);
        result.targets.push_back(std::move(target));
    }
    return result;
}
