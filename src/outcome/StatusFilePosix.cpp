#include "outcome/StatusFile.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString StatusFile::defaultFolder()
{
    // A relative XDG_STATE_HOME is to be ignored, as the base directory convention says.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/pylvane");
}

bool StatusFile::prepareFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    if (lstat(path.constData(), &info) != 0) {
        if (errno != ENOENT)
            return false;
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent) || mkdir(path.constData(), 0700) != 0 || lstat(path.constData(), &info) != 0)
            return false;
    }
    // Only a folder that no one else may change: otherwise another user could put a link in the
    // file's place between this look and the rename.
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    const QByteArray file = QFile::encodeName(folder + QLatin1Char('/') + kFileName);
    if (lstat(file.constData(), &info) == 0)
        return S_ISREG(info.st_mode);
    return errno == ENOENT;
}

bool StatusFile::replace(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

std::optional<QByteArray> StatusFile::read(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + kFileName);
    // No link is followed and no FIFO waited on.
    const int fd = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::optional<QByteArray> bytes;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxSize) {
        QByteArray data(qsizetype(info.st_size) + 1, '\0');
        qsizetype total = 0;
        ssize_t got = 0;
        while (total < data.size() && (got = ::read(fd, data.data() + total, size_t(data.size() - total))) > 0)
            total += got;
        // One byte more than its size: a file that grew meanwhile is read as damaged.
        if (got >= 0 && total <= info.st_size)
            bytes = data.left(total);
    }
    close(fd);
    return bytes;
}
