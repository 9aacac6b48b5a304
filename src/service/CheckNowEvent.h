#pragma once

#include <QCryptographicHash>
#include <QDir>
#include <QString>

// Windows: the name of the event by which `pylvane --check-now` asks the Pylvane that runs with `stateFolder` to
// check now. Within the session ("Local\"), and the folder's digest rather than its path, which may hold a
// backslash that the name may not.
inline QString checkNowEventName(const QString& stateFolder)
{
    const QByteArray digest =
        QCryptographicHash::hash(QDir::cleanPath(stateFolder).toLower().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(32);
    return QStringLiteral("Local\\Pylvane-check-now-") + QString::fromLatin1(digest);
}
