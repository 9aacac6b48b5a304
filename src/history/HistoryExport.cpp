#include "history/HistoryExport.h"

#include "history/CsvText.h"

namespace {

QString timeText(int64_t ms, const QTimeZone& zone)
{
    return CsvText::time(QDateTime::fromMSecsSinceEpoch(ms, zone));
}

} // namespace

QStringList HistoryExport::checksHeader()
{
    return {QStringLiteral("time"),  QStringLiteral("kind"),  QStringLiteral("number"), QStringLiteral("name"),
            QStringLiteral("text"), QStringLiteral("state"), QStringLiteral("rtt_ms")};
}

QStringList HistoryExport::outagesHeader()
{
    return {QStringLiteral("kind"),  QStringLiteral("number"),     QStringLiteral("name"),  QStringLiteral("text"),
            QStringLiteral("start"), QStringLiteral("end"),        QStringLiteral("duration_s"),
            QStringLiteral("checks")};
}

QString HistoryExport::checkRow(const HistorySeries& series, const HistoryCheck& check, const QTimeZone& zone)
{
    return CsvText::row({timeText(check.endedMs, zone), series.kind, QString::number(series.number),
                         series.logName.trimmed(), series.text, HistoryRules::nameOf(check.state),
                         check.rttMs ? QString::number(*check.rttMs) : QString()});
}

QString HistoryExport::outageRow(const HistorySeries& series, const HistoryOutage& outage, int64_t nowMs,
                                 const QTimeZone& zone)
{
    // An outage still going on has no end; its duration runs to now.
    return CsvText::row({series.kind, QString::number(series.number), series.logName.trimmed(), series.text,
                         timeText(outage.startMs, zone), outage.endMs ? timeText(*outage.endMs, zone) : QString(),
                         QString::number(outage.durationMs(nowMs) / 1000), QString::number(outage.checks)});
}

bool HistoryExport::csv(const HistoryReader& reader, const std::vector<HistorySeries>& series, What what,
                        int64_t fromMs, int64_t toMs, int64_t nowMs, const QTimeZone& zone, QByteArray& out,
                        QString* why)
{
    QString text = CsvText::row(what == Checks ? checksHeader() : outagesHeader());
    for (const HistorySeries& one : series) {
        QString error;
        const std::vector<HistoryCheck> checks = HistoryRules::sorted(reader.checks(one.id, fromMs, toMs, &error));
        if (!error.isEmpty()) {
            if (why != nullptr)
                *why = error;
            return false;
        }
        if (what == Checks) {
            for (const HistoryCheck& check : checks)
                text += checkRow(one, check, zone);
        } else {
            for (const HistoryOutage& outage : HistoryRules::outages(checks))
                text += outageRow(one, outage, std::min(nowMs, toMs), zone);
        }
    }
    out = text.toUtf8();
    return true;
}
