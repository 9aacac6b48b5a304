#include "outcome/StatusFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <windows.h>

namespace {

// A link or junction in the folder's or the file's place is not followed.
bool isLink(const QFileInfo& info)
{
    return info.isSymLink() || info.isJunction();
}

} // namespace

QString StatusFile::defaultFolder()
{
    QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::fromNativeSeparators(base) + QStringLiteral("/Pylvane");
}

bool StatusFile::prepareFolder(const QString& folder)
{
    QFileInfo info(folder);
    if (!info.exists() && !isLink(info)) {
        // Under the user's profile, whose folders only the user (and the system) may change.
        if (!QDir().mkpath(folder))
            return false;
        info.refresh();
    }
    if (isLink(info) || !info.isDir())
        return false;
    const QFileInfo file(folder + QLatin1Char('/') + kFileName);
    if (isLink(file))
        return false;
    return !file.exists() || file.isFile();
}

bool StatusFile::replace(const QString& from, const QString& to)
{
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

std::optional<QByteArray> StatusFile::read(const QString& folder)
{
    const QFileInfo info(folder + QLatin1Char('/') + kFileName);
    if (isLink(info) || !info.isFile() || info.size() > kMaxSize)
        return std::nullopt;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(kMaxSize + 1);
    if (bytes.size() > kMaxSize)
        return std::nullopt;
    return bytes;
}
