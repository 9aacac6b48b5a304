#include "outcome/StatusFile.h"

#include "monitor/CycleReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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
                            int secondsToNextCycle)
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
    static const QRegularExpression kTemporary(QStringLiteral("^\\.status\\.json\\.([0-9]{1,10})$"));
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral(".status.json.*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        const QRegularExpressionMatch match = kTemporary.match(entry.fileName());
        if (match.hasMatch() && !entry.isSymLink() && !processRuns(match.captured(1).toLongLong()))
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
