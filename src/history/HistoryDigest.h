#pragma once

#include "history/HistoryReader.h"

#include <QTimeZone>

#include <array>
#include <vector>

// What the History window shows of one target, worked out away from the window's thread.
struct TargetHistory {
    HistorySeries series;
    std::vector<HistoryCheck> recent;   // the last 24 hours, one per check
    std::vector<HistoryDay> days;       // the last 90 local days
    std::array<Uptime, 4> uptime;       // 24 h, 7 d, 30 d, 90 d
    std::vector<HistoryOutage> outages; // of the last 90 days, oldest first
};

// The history read for the window: the series of the targets enabled now, each with its current text.
class HistoryDigest {
public:
    static constexpr int kDays = 90;
    static constexpr std::array<int64_t, 4> kSpans = {HistoryRules::kDayMs, 7 * HistoryRules::kDayMs,
                                                      30 * HistoryRules::kDayMs, 90 * HistoryRules::kDayMs};
    struct Enabled {
        TargetKind kind;
        int number;
        QString text;
    };
    struct Result {
        HistoryReader::Opened opened = HistoryReader::Failed;
        QString why;
        std::vector<TargetHistory> targets;
    };

    static Result read(const QString& folder, const std::vector<Enabled>& enabled, int64_t nowMs,
                       const QTimeZone& zone);
};
