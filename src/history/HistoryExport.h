#pragma once

#include "history/HistoryReader.h"

#include <QByteArray>
#include <QTimeZone>

// The export of the History window: the checks or the outages of some series in a range of time, as CSV.
class HistoryExport {
public:
    enum What { Checks, Outages };

    static QStringList checksHeader();
    static QStringList outagesHeader();
    // One row of a check or of an outage, times read in `zone`.
    static QString checkRow(const HistorySeries& series, const HistoryCheck& check, const QTimeZone& zone);
    static QString outageRow(const HistorySeries& series, const HistoryOutage& outage, int64_t nowMs,
                             const QTimeZone& zone);

    // The whole text, header first; false with `why` when the history could not be read.
    static bool csv(const HistoryReader& reader, const std::vector<HistorySeries>& series, What what, int64_t fromMs,
                    int64_t toMs, int64_t nowMs, const QTimeZone& zone, QByteArray& out, QString* why);
};
