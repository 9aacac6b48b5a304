#include "metrics/MetricsFile.h"

#include "probes/ProcessAlive.h"

#include <QFile>

#include <cerrno>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Status = MetricsFile::Status;

Status failureOf(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return Status::DiskFull;
    case EISDIR: // a folder at pylvane.prom, which a rename does not replace
        return Status::FileRefused;
    default:
        return Status::NotWritable;
    }
}

bool writeAll(int fd, const QByteArray& text)
{
    const char* data = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t done = ::write(fd, data, size_t(left));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = EIO;
            return false;
        }
        data += done;
        left -= done;
    }
    return true;
}

bool syncFile(int fd)
{
    int result = 0;
    while ((result = ::fsync(fd)) != 0 && errno == EINTR) {
    }
    return result == 0;
}

// `dir` may be opened only for paths (O_PATH): the folder is listed through a descriptor of its own.
void removeLeftoversIn(int dir)
{
    const int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* const entries = ::fdopendir(listing);
    if (entries == nullptr) {
        ::close(listing);
        return;
    }
    const time_t before = ::time(nullptr) - 60;
    while (const dirent* entry = ::readdir(entries)) {
        const std::optional<qint64> writer = MetricsFile::writerOf(QFile::decodeName(entry->d_name));
        struct stat info {};
        if (!writer || ::fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        // unlinkat removes a name and never follows it: a file swapped in meanwhile by someone who may
        // write the folder is one they could remove themselves.
        if (info.st_mtime < before || !processRuns(*writer))
            ::unlinkat(dir, entry->d_name, 0);
    }
    ::closedir(entries);
}

Status writeIn(int dir, const QByteArray& text, const QString& temporary)
{
    const QByteArray name = QFile::encodeName(temporary);
    // O_EXCL fails on any name already there, a link included; nothing else in the folder is opened.
    const int fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return failureOf(errno);
    // The exporter runs as another user, whatever the umask. A file system without modes refuses
    // this, and its files are readable as it is mounted.
    [[maybe_unused]] const int moded = ::fchmod(fd, 0644);
    // A full disk may show only at the flush, or at the close on a network share.
    bool done = writeAll(fd, text) && syncFile(fd);
    int error = errno;
    if (::close(fd) != 0 && done) {
        done = false;
        error = errno;
    }
    // Replaces whatever stands at the name, a link included, and never writes through one.
    const QByteArray target = QFile::encodeName(MetricsFile::kFileName);
    if (done && ::renameat(dir, name.constData(), dir, target.constData()) == 0)
        return Status::Written;
    if (done)
        error = errno;
    ::unlinkat(dir, name.constData(), 0);
    return failureOf(error);
}

} // namespace

MetricsFile::Status MetricsFile::write(const QString& folder, const QByteArray& text)
{
    return writeAs(folder, text, temporaryName(::getpid()));
}

MetricsFile::Status MetricsFile::writeAs(const QString& folder, const QByteArray& text, const QString& temporary)
{
    // Opened for paths only, so a folder that may be written but not listed is written still. Every
    // name below is taken inside this folder, even if the path is changed meanwhile.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return errno == ENOENT ? Status::FolderMissing : errno == ENOTDIR ? Status::NotAFolder : Status::NotWritable;
    removeLeftoversIn(dir);
    const Status status = writeIn(dir, text, temporary);
    ::close(dir);
    return status;
}

void MetricsFile::removeLeftovers(const QString& folder)
{
    const int dir = ::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    removeLeftoversIn(dir);
    ::close(dir);
}
