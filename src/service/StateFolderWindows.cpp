#include "service/StateFolder.h"

#include "outcome/StatusFile.h"

#include <QDir>
#include <QFileInfo>

QString StateFolder::chosen(const QString& given, For use)
{
    if (!given.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(given));
    if (use == For::Asking) {
        const QString folder = qEnvironmentVariable("PYLVANE_STATE_DIR");
        if (!folder.isEmpty() && QDir::isAbsolutePath(folder))
            return QDir::cleanPath(folder);
    }
    return StatusFile::defaultFolder();
}

// The folder's access list is the administrator's on Windows; a link (a reparse point) is refused as on POSIX.
QString StateFolder::refusal(const QString& folder, For)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || info.isJunction())
        return QStringLiteral("it is a link");
    if (info.exists() && !info.isDir())
        return QStringLiteral("it is not a folder");
    return {};
}

QString StateFolder::resolved(const QString& folder)
{
    return folder;
}

bool StateFolder::make(const QString& folder)
{
    return QDir().mkpath(folder);
}
