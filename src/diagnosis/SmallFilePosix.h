#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The bytes of a small regular file, at most `limit`, read without waiting: a FIFO planted at its name is refused
// rather than waited on. Files under /proc tell no size, so it reads to the end.
inline QByteArray smallFile(const QString& path, qsizetype limit)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray bytes;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[4096];
        ssize_t got = 0;
        while (bytes.size() <= limit && (got = ::read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, qsizetype(got));
        if (bytes.size() > limit)
            bytes.clear();
    }
    ::close(fd);
    return bytes;
}
