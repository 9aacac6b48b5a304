#include "service/ConfigFile.h"

#include "settings/SettingsFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether users other than `owner` (and root) may change what `st` describes.
bool othersMayWrite(const struct stat& st, uid_t owner)
{
    if ((st.st_mode & S_IWOTH) != 0)
        return true;
    // A group may hold other users; one that only the owner's own group could write is still the owner's alone
    // only where the owner is this user.
    return (st.st_mode & S_IWGRP) != 0 && owner != ::geteuid();
}

} // namespace

ConfigFile::Contents ConfigFile::read(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Not opened until it is known to be a regular file: a FIFO would wait for a writer.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return {errno == ENOENT || errno == ENOTDIR
                    ? QStringLiteral("there is no such file")
                    : QStringLiteral("it cannot be looked at (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))),
                {}};
    if (!S_ISREG(st.st_mode))
        return {QStringLiteral("it is not a regular file"), {}};
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {QStringLiteral("it cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))), {}};
    Contents contents;
    // Judged on the file opened, so a file swapped in after the look above is the one judged.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        contents.refusal = QStringLiteral("it is not a regular file");
    else if (othersMayWrite(st, st.st_uid))
        contents.refusal = st.st_uid == ::geteuid() ? QStringLiteral("other users may write it")
                                                    : QStringLiteral("it is another user's file that others may write");
    else if (st.st_size > SettingsFile::kMaxSize)
        contents.refusal = QStringLiteral("it is larger than a settings file can be");
    if (contents.refusal.isEmpty()) {
        // The folder of the file itself, links followed: whoever may change it may put another file in its place.
        char* resolved = ::realpath(name.constData(), nullptr);
        struct stat folder {};
        if (resolved == nullptr ||
            ::stat(QFile::encodeName(QFileInfo(QFile::decodeName(resolved)).absolutePath()).constData(), &folder) != 0)
            contents.refusal = QStringLiteral("its folder cannot be looked at");
        else if ((folder.st_mode & S_ISVTX) == 0 && othersMayWrite(folder, folder.st_uid))
            contents.refusal = QStringLiteral("its folder may be changed by other users");
        std::free(resolved);
    }
    char buffer[16384];
    while (contents.refusal.isEmpty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            contents.refusal =
                QStringLiteral("it cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        else if (contents.bytes.size() + n > SettingsFile::kMaxSize)
            contents.refusal = QStringLiteral("it is larger than a settings file can be");
        if (n <= 0)
            break;
        contents.bytes.append(buffer, n);
    }
    ::close(fd);
    if (!contents.refusal.isEmpty())
        contents.bytes.clear();
    return contents;
}
