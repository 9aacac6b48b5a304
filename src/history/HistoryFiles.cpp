#include "history/HistoryFiles.h"

#include "history/HistorySchema.h"

#include <QDir>

QStringList HistoryFiles::names()
{
    const QString base = QString::fromLatin1(HistorySchema::kFileName);
    return {base, base + QStringLiteral("-wal"), base + QStringLiteral("-shm")};
}

QStringList HistoryFiles::setAsideFiles(const QString& folder)
{
    // Told by hand: a name filter would bring in Qt's expression engine for the program's life.
    const QString prefix = QString::fromLatin1(HistorySchema::kFileName) + QStringLiteral(".damaged-");
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (name.startsWith(prefix) && !name.endsWith(QStringLiteral("-wal")) && !name.endsWith(QStringLiteral("-shm")))
            found << name;
    return found;
}
