#include "history/HistoryCommand.h"

#include "history/CsvText.h"
#include "history/HistoryExport.h"
#include "history/HistoryReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <limits>
#include <map>

namespace {

struct Span {
    const char* label;
    int64_t ms;
};
constexpr Span kSpans[] = {{"24h", HistoryRules::kDayMs},
                           {"7d", 7 * HistoryRules::kDayMs},
                           {"30d", 30 * HistoryRules::kDayMs},
                           {"90d", 90 * HistoryRules::kDayMs}};

QString uptimeText(const Uptime& uptime)
{
    if (!uptime.ratio())
        return QStringLiteral("no checks");
    // The C locale: a script reads these figures.
    return QStringLiteral("%1 % (%2/%3)")
        .arg(QLocale::c().toString(*uptime.ratio() * 100.0, 'f', 1))
        .arg(uptime.up)
        .arg(uptime.checks());
}

QJsonObject outageJson(const HistoryOutage& outage, int64_t nowMs, const QTimeZone& zone)
{
    QJsonObject object{{QStringLiteral("start"), CsvText::time(QDateTime::fromMSecsSinceEpoch(outage.startMs, zone))},
                       {QStringLiteral("duration_s"), double(outage.durationMs(nowMs) / 1000)},
                       {QStringLiteral("checks"), outage.checks}};
    object.insert(QStringLiteral("end"), outage.endMs ? QJsonValue(CsvText::time(QDateTime::fromMSecsSinceEpoch(
                                                            *outage.endMs, zone)))
                                                      : QJsonValue(QJsonValue::Null));
    return object;
}

} // namespace

int HistoryCommand::run(const QString& folder, const Options& options, QString& out, QString& error, int64_t nowMs,
                        const QTimeZone& zone)
{
    HistoryReader reader(folder);
    reader.setServiceForRoot(options.serviceForRoot);
    QString why;
    const HistoryReader::Opened opened = reader.open(&why);
    if (opened != HistoryReader::Ok) {
        error += QStringLiteral("pylvane: %1\n").arg(why);
        return kNoHistory;
    }
    // Each target's latest series: what it is called now, as far as the history knows.
    // In the cycle's order: devices, cameras, processes.
    const auto order = [](const QString& kind) {
        return kind == HistoryReader::kindName(TargetKind::Device) ? 0
               : kind == HistoryReader::kindName(TargetKind::Cam)  ? 1
                                                                   : 2;
    };
    std::map<std::pair<int, int>, HistorySeries> latest;
    for (const HistorySeries& series : reader.series(&why)) {
        HistorySeries& kept = latest[{order(series.kind), series.number}];
        if (series.id >= kept.id)
            kept = series;
    }
    const int days = std::max(1, options.days);
    const int64_t fromMs = nowMs - int64_t(days) * HistoryRules::kDayMs;
    const auto time = [&zone](int64_t ms) { return CsvText::time(QDateTime::fromMSecsSinceEpoch(ms, zone)); };

    QJsonArray targets;
    if (options.form == Csv)
        out += CsvText::row(HistoryExport::checksHeader());
    for (const auto& [key, series] : latest) {
        // The uptime figures go back 90 days whatever the range; the range bounds outages and checks.
        const int64_t readFrom = std::min(fromMs, nowMs - kSpans[3].ms);
        QString readError;
        const std::vector<HistoryCheck> all =
            HistoryRules::sorted(reader.checks(series.id, readFrom, std::numeric_limits<int64_t>::max(), &readError));
        if (!readError.isEmpty()) {
            error += QStringLiteral("pylvane: the history cannot be read: %1\n").arg(readError);
            return kNoHistory;
        }
        std::vector<HistoryCheck> inRange;
        std::copy_if(all.begin(), all.end(), std::back_inserter(inRange),
                     [fromMs](const HistoryCheck& check) { return check.endedMs >= fromMs; });
        const std::vector<HistoryOutage> outages = HistoryRules::outages(inRange);
        const QString name = series.logName.trimmed();
        switch (options.form) {
        case Summary: {
            QStringList figures;
            for (const Span& span : kSpans)
                figures << QStringLiteral("%1 %2").arg(QLatin1String(span.label),
                                                       uptimeText(HistoryRules::uptime(all, nowMs, span.ms)));
            QString last = QStringLiteral("none");
            if (!outages.empty()) {
                const HistoryOutage& outage = outages.back();
                last = QStringLiteral("%1 to %2, %3")
                           .arg(time(outage.startMs), outage.endMs ? time(*outage.endMs) : QStringLiteral("still down"),
                                HistoryRules::durationText(outage.durationMs(nowMs)));
            }
            out += QStringLiteral("%1 (%2): uptime %3; %4 in %5 d; last outage: %6\n")
                       .arg(name, series.text, figures.join(QStringLiteral(", ")),
                            outages.size() == 1 ? QStringLiteral("1 outage")
                                                : QStringLiteral("%1 outages").arg(outages.size()))
                       .arg(days)
                       .arg(last);
            break;
        }
        case Outages:
            for (auto outage = outages.rbegin(); outage != outages.rend(); ++outage)
                out += QStringLiteral("%1 (%2): %3 to %4, %5, %6\n")
                           .arg(name, series.text, time(outage->startMs),
                                outage->endMs ? time(*outage->endMs) : QStringLiteral("still down"),
                                HistoryRules::durationText(outage->durationMs(nowMs)),
                                outage->checks == 1 ? QStringLiteral("1 check")
                                                    : QStringLiteral("%1 checks").arg(outage->checks));
            break;
        case Csv:
            for (const HistoryCheck& check : inRange)
                out += HistoryExport::checkRow(series, check, zone);
            break;
        case Json: {
            QJsonObject uptime;
            for (const Span& span : kSpans) {
                const Uptime figure = HistoryRules::uptime(all, nowMs, span.ms);
                uptime.insert(QLatin1String(span.label),
                              QJsonObject{{QStringLiteral("up"), figure.up},
                                          {QStringLiteral("checks"), figure.checks()},
                                          {QStringLiteral("ratio"), figure.ratio() ? QJsonValue(*figure.ratio())
                                                                                   : QJsonValue(QJsonValue::Null)}});
            }
            QJsonArray list;
            for (auto outage = outages.rbegin(); outage != outages.rend(); ++outage)
                list.append(outageJson(*outage, nowMs, zone));
            targets.append(QJsonObject{{QStringLiteral("kind"), series.kind},
                                       {QStringLiteral("number"), series.number},
                                       {QStringLiteral("name"), name},
                                       {QStringLiteral("text"), series.text},
                                       {QStringLiteral("uptime"), uptime},
                                       {QStringLiteral("outages"), list}});
            break;
        }
        }
    }
    if (options.form == Json)
        out += QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("days"), days}, {QStringLiteral("targets"), targets}})
                .toJson(QJsonDocument::Indented));
    return 0;
}
