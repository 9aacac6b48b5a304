#include "metrics/MetricsFile.h"

#include <QRandomGenerator>
#include <QRegularExpression>

QString MetricsFile::reasonOf(Status status)
{
    switch (status) {
    case Status::Written:
        return {};
    case Status::FolderMissing:
        return QStringLiteral("the folder does not exist");
    case Status::NotAFolder:
        return QStringLiteral("it is not a folder");
    case Status::NotWritable:
        return QStringLiteral("the folder cannot be written");
    case Status::FileRefused:
        return QStringLiteral("%1 there is not a regular file").arg(kFileName);
    case Status::NoAnswer:
        return QStringLiteral("the folder does not answer");
    case Status::DiskFull:
        return QStringLiteral("the disk is full");
    case Status::Failed:
        break;
    }
    return QStringLiteral("the writer failed");
}

bool MetricsFile::isAnswer(int code)
{
    return (code >= int(Status::Written) && code <= int(Status::FileRefused)) || code == int(Status::DiskFull);
}

QString MetricsFile::temporaryName(qint64 pid)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // Unguessable, so that no one can have a name ready in its place.
    QString random;
    for (int i = 0; i < 8; ++i)
        random += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))]);
    return QStringLiteral(".%1.%2.%3").arg(kFileName).arg(pid).arg(random);
}

std::optional<qint64> MetricsFile::writerOf(const QString& name)
{
    static const QRegularExpression kTemporary(QStringLiteral("^\\.pylvane\\.prom\\.([0-9]{1,10})\\.[A-Za-z0-9]{8}$"));
    const QRegularExpressionMatch match = kTemporary.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}
