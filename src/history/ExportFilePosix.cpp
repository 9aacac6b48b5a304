#include "history/ExportFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ExportFile::write(const QString& path, const QByteArray& bytes, QString* why)
{
    const auto fail = [why](const QString& text, int error) {
        if (why != nullptr)
            *why = text + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        return false;
    };
    const QFileInfo target(path);
    const QByteArray temporary =
        QFile::encodeName(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                          QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    // O_EXCL with O_NOFOLLOW: a name someone put there first, a link included, is never opened.
    const int fd = open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(QStringLiteral("the file could not be made"), errno);
    qsizetype written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t done = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            error = done < 0 ? errno : ENOSPC;
            break;
        }
        written += done;
    }
    // A full disk may only show at the flush or the close.
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        error = errno;
    if (error != 0) {
        unlink(temporary.constData());
        return fail(QStringLiteral("the file could not be written"), error);
    }
    return true;
}
