#include "outcome/StatusCheck.h"

#include "monitor/Targets.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// The file is the user's to edit: a line break or a "|" in a text would break the line's format.
QString printable(const QString& text)
{
    QString out = text.left(80);
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control || c == QLatin1Char('|') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char('?');
    }
    return out;
}

QString ago(qint64 seconds)
{
    if (seconds < 2 * 3600)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

StatusCheck::Result unknown(const QString& why)
{
    return {StatusCheck::Unknown, QStringLiteral("PYLVANE UNKNOWN - ") + why};
}

} // namespace

StatusCheck::Result StatusCheck::evaluate(const std::optional<QByteArray>& bytes, const QDateTime& now,
                                          const QString& refused)
{
    if (!bytes && !refused.isEmpty())
        return unknown(refused);
    if (!bytes)
        return unknown(QStringLiteral("no status file; is Pylvane running?"));
    const QJsonObject status = QJsonDocument::fromJson(*bytes).object();
    const QJsonArray targets = status.value(QStringLiteral("targets")).toArray();
    switch (lastCheck(*bytes, now)) {
    case LastCheck::Damaged:
        return unknown(QStringLiteral("the status file is damaged"));
    case LastCheck::Overdue: {
        const QDateTime ended = QDateTime::fromString(status.value(QStringLiteral("ended")).toString(), Qt::ISODate);
        return unknown(QStringLiteral("no check for %1; is Pylvane running?").arg(ago(ended.secsTo(now))));
    }
    case LastCheck::Ahead:
        return unknown(QStringLiteral("the last check's time lies ahead of this computer's clock"));
    case LastCheck::Current:
        break;
    }

    int up = 0;
    int confirming = 0;
    QStringList down;
    QStringList unchecked;
    bool hostUnchecked = false;
    bool processUnchecked = false;
    for (const QJsonValue& value : targets) {
        const QJsonObject target = value.toObject();
        const QString state = target.value(QStringLiteral("state")).toString();
        const QString text = printable(target.value(QStringLiteral("text")).toString());
        const QString name = printable(target.value(QStringLiteral("name")).toString());
        const QString named = text.isEmpty() ? name : name + QLatin1Char(' ') + text;
        // Found down once and being looked at again: neither down nor unknown yet, whatever was known before. Only
        // the second look can tell, and saying either now would be the false alarm it is there to prevent.
        if (target.value(QStringLiteral("confirming")).toBool()) {
            ++confirming;
            continue;
        }
        if (state == QStringLiteral("up")) {
            ++up;
        } else if (state == QStringLiteral("down")) {
            down << named;
        } else if (state == QStringLiteral("unknown")) {
            unchecked << named;
            (target.value(QStringLiteral("kind")).toString() == QStringLiteral("process") ? processUnchecked
                                                                                          : hostUnchecked) = true;
        }
    }
    const QString again = confirming == 0
                              ? QString()
                              : QStringLiteral(" (%1 %2 being checked again)")
                                    .arg(confirming)
                                    .arg(confirming == 1 ? QStringLiteral("target") : QStringLiteral("targets"));
    const QString perf = QStringLiteral(" | down=%1;;1;0;%4 unknown=%2;;;0;%4 confirming=%3;;;0;%4")
                             .arg(down.size())
                             .arg(unchecked.size())
                             .arg(confirming)
                             .arg(kTargetCount);
    if (!down.isEmpty())
        return {Critical, QStringLiteral("PYLVANE CRITICAL - %1 down: ").arg(down.size()) +
                              down.join(QStringLiteral(", ")) + again + perf};
    // Nothing down is not all well while a target could not be checked at all.
    if (!unchecked.isEmpty()) {
        QStringList reasons;
        if (hostUnchecked)
            reasons << QStringLiteral("Pylvane may lack the right to send echo, or an address is not IPv4");
        if (processUnchecked)
            reasons << QStringLiteral("the list of running programs could not be read");
        return {Unknown, QStringLiteral("PYLVANE UNKNOWN - %1 %2 could not be checked: ")
                                 .arg(unchecked.size())
                                 .arg(unchecked.size() == 1 ? "target" : "targets") +
                             unchecked.join(QStringLiteral(", ")) + QStringLiteral("; ") +
                             reasons.join(QStringLiteral("; ")) + again + perf};
    }
    return {Ok, QStringLiteral("PYLVANE OK - %1 %2 up").arg(up).arg(up == 1 ? "target" : "targets") + again + perf};
}

StatusCheck::LastCheck StatusCheck::lastCheck(const QByteArray& bytes, const QDateTime& now)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonObject status = document.object();
    const QDateTime ended = QDateTime::fromString(status.value(QStringLiteral("ended")).toString(), Qt::ISODate);
    const double nextIn = status.value(QStringLiteral("next_in")).toDouble(-1);
    const double duration = status.value(QStringLiteral("duration")).toDouble(-1);
    constexpr double kDay = 86'400;
    if (!document.isObject() || status.value(QStringLiteral("format")).toInt() != 1 ||
        status.value(QStringLiteral("targets")).toArray().size() != kTargetCount || !ended.isValid() ||
        !(nextIn >= 0 && nextIn <= kDay) || !(duration >= 0 && duration <= kDay))
        return LastCheck::Damaged;
    // Pylvane has missed two whole intervals: it no longer runs, or no longer checks.
    const qint64 age = ended.secsTo(now);
    if (age > 2 * qint64(nextIn + duration) + 60)
        return LastCheck::Overdue;
    // A check in the future never goes stale: the clock was set back since, or someone wrote the file.
    if (age < -5 * 60)
        return LastCheck::Ahead;
    return LastCheck::Current;
}
