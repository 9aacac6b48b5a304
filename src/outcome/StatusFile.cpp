#include "outcome/StatusFile.h"

#include "monitor/CycleReport.h"
#include "probes/ProcessAlive.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <optional>

namespace {

// The process id in the name of a file that a run writes before it renames it into place (".status.json.1234"),
// or nothing where the name is not of that form. Told by hand: a regular expression, or a name filter, which Qt
// turns into one, would bring in the expression engine and its compiler, which then stay for the program's life
// (some 450 kB resident, a seventh of what the idle program holds above a bare Qt window).
std::optional<qint64> writerOf(const QString& name)
{
    const QString prefix = QLatin1Char('.') + StatusFile::kFileName + QLatin1Char('.');
    const qsizetype digits = name.size() - prefix.size();
    if (!name.startsWith(prefix) || digits < 1 || digits > 10)
        return std::nullopt;
    qint64 pid = 0;
    for (qsizetype i = prefix.size(); i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        pid = pid * 10 + (c - u'0');
    }
    return pid;
}

} // namespace

QString StatusFile::timeText(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray StatusFile::json(const CycleReport& report, const std::function<QDateTime(int)>& since,
                            int secondsToNextCycle, const std::function<std::optional<double>(int)>& uptime)
{
    QJsonArray targets;
    for (int i = 0; i < kTargetCount; ++i) {
        const TargetReport& target = report.targets[i];
        const QDateTime seen = since(i);
        QJsonObject entry{
            {QStringLiteral("kind"), kindName(target.kind)},
            {QStringLiteral("number"), target.number},
            {QStringLiteral("name"), target.logName()},
            {QStringLiteral("text"), target.text},
            {QStringLiteral("state"), stateName(target.state)},
            {QStringLiteral("since"), timeText(seen.isValid() ? seen : report.ended)},
        };
        // Found down once and looked at again soon; "state" is what was last known of it.
        if (target.confirming)
            entry.insert(QStringLiteral("confirming"), true);
        const std::optional<double> share = uptime ? uptime(i) : std::nullopt;
        // Six places: a ratio of at most a few hundred checks is told exactly enough, and one down never reads as 1.
        entry.insert(QStringLiteral("uptime_24h"),
                     share ? QJsonValue(std::round(*share * 1e6) / 1e6) : QJsonValue(QJsonValue::Null));
        targets.append(entry);
    }
    const QJsonObject status{
        {QStringLiteral("format"), 1},
        {QStringLiteral("version"), QStringLiteral(PYLVANE_VERSION)},
        {QStringLiteral("ended"), timeText(report.ended)},
        {QStringLiteral("duration"), double(report.durationMs) / 1000.0},
        {QStringLiteral("next_in"), secondsToNextCycle},
        {QStringLiteral("targets"), targets},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Indented);
}

void StatusFile::removeLeftovers(const QString& folder)
{
    // The folder is the user's own and no one else may change it (prepareFolder), so its names can be trusted.
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        const std::optional<qint64> writer = writerOf(entry.fileName());
        if (writer && !entry.isSymLink() && !processRuns(*writer))
            QFile::remove(entry.filePath());
    }
}

bool StatusFile::write(const QString& folder, const QByteArray& json)
{
    if (!prepareFolder(folder))
        return false;
    // A new file of this run in the same folder, private from its creation, then renamed over the file:
    // readers see the old file or the new one, never a part. It is not synced to disk first, which would cost
    // the cycle milliseconds for a file that the next cycle replaces anyway.
    const QString target = folder + QLatin1Char('/') + kFileName;
    removeLeftovers(folder);
    QFile file(folder + QStringLiteral("/.%1.%2").arg(kFileName).arg(QCoreApplication::applicationPid()));
    file.remove(); // one this process left behind
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const bool written = file.write(json) == json.size() && file.flush();
    file.close();
    if (written && replace(file.fileName(), target))
        return true;
    file.remove();
    return false;
}
