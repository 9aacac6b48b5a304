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
        // Another writer of the folder (the history's thread) may make it at the same moment: then it is judged as
        // found.
        if (!QDir().mkpath(parent) || (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) ||
            lstat(path.constData(), &info) != 0)
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

std::optional<QByteArray> StatusFile::read(const QString& folder, QString* refused, bool serviceForRoot)
{
    const auto refuse = [refused](const char* why) {
        if (refused != nullptr)
            *refused = QString::fromLatin1(why);
        return std::nullopt;
    };
    // Only what the writer would have written is read: a regular file of the user's own with one name, in a real
    // folder of the user's own that no one else may change. Each is checked on what was opened, not on its name,
    // so nothing can be swapped in between; no link is followed and no FIFO waited on.
    const int dir = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return refuse("the status folder is not a folder of your own");
    }
    struct stat info {};
    // Root may read a service's status when asked to: the file is then to be the folder's owner's, as the writer
    // leaves it.
    if (fstat(dir, &info) != 0 || (info.st_uid != geteuid() && !(serviceForRoot && geteuid() == 0)) ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        close(dir);
        return refuse("the status folder may be changed by another user");
    }
    const uid_t owner = info.st_uid;
    const int fd =
        openat(dir, QFile::encodeName(kFileName).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    close(dir);
    if (fd < 0) {
        if (openError == ENOENT)
            return std::nullopt;
        return refuse(openError == ELOOP ? "the status file is a link" : "the status file cannot be read");
    }
    const char* why = nullptr;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        why = "the status file is not a regular file";
    else if (info.st_uid != owner)
        why = "the status file belongs to another user";
    else if (info.st_nlink != 1)
        why = "the status file has more than one name";
    else if (info.st_size > kMaxSize)
        why = "the status file is damaged";
    std::optional<QByteArray> bytes;
    if (why == nullptr) {
        QByteArray data(qsizetype(info.st_size) + 1, '\0');
        qsizetype total = 0;
        ssize_t got = 0;
        while (total < data.size() && (got = ::read(fd, data.data() + total, size_t(data.size() - total))) > 0)
            total += got;
        // One byte more than its size: a file that grew meanwhile is read as damaged.
        if (got >= 0 && total <= info.st_size)
            bytes = data.left(total);
        else
            why = "the status file is damaged";
    }
    close(fd);
    if (why != nullptr)
        return refuse(why);
    return bytes;
}
