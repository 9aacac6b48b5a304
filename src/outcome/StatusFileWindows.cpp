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

std::optional<QByteArray> StatusFile::read(const QString& folder, QString* refused)
{
    const auto refuse = [refused](const char* why) {
        if (refused != nullptr)
            *refused = QString::fromLatin1(why);
        return std::nullopt;
    };
    const QFileInfo place(folder);
    if (isLink(place))
        return refuse("the status folder is a link");
    const QFileInfo info(folder + QLatin1Char('/') + kFileName);
    if (isLink(info))
        return refuse("the status file is a link");
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile())
        return refuse("the status file is not a regular file");
    if (info.size() > kMaxSize)
        return refuse("the status file is damaged");
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return refuse("the status file cannot be read");
    QByteArray bytes = file.read(kMaxSize + 1);
    if (bytes.size() > kMaxSize)
        return refuse("the status file is damaged");
    return bytes;
}
