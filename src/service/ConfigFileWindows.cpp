#include "service/ConfigFile.h"

#include <QFile>
#include <QFileInfo>

namespace {

// A settings file is a few kilobytes; the per-user file's limit.
constexpr qint64 kMaxSize = 256 * 1024;

} // namespace

// Windows has no other users' write bits to look at here; the folder's access list is the administrator's.
ConfigFile::Contents ConfigFile::read(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {QStringLiteral("there is no such file"), {}};
    if (!info.isFile())
        return {QStringLiteral("it is not a regular file"), {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("it cannot be read (%1)").arg(file.errorString()), {}};
    const QByteArray bytes = file.read(kMaxSize + 1);
    if (bytes.size() > kMaxSize)
        return {QStringLiteral("it is larger than a settings file can be"), {}};
    return {{}, bytes};
}
