#include "eventlog/LogFile.h"

#include "eventlog/PosixFileChecks.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTimer>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Errors that say the folder may not be changed, as opposed to the disk or the file failing.
bool folderNotWritable(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

bool writeAll(int fd, const char* data, qint64 size, off_t offset, bool positioned)
{
    while (size > 0) {
        const ssize_t done = positioned ? ::pwrite(fd, data, size_t(size), offset) : ::write(fd, data, size_t(size));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= done;
        offset += done;
    }
    return true;
}

// The last handle of a replaced log makes the file system free it as it closes, which for a long log
// takes a good part of what the rewrite took (about 10 ms of a 60 ms rewrite of 50 MB). The failure
// command, which follows the rewrite, need not wait for that: the handle is closed on the next turn
// of the event loop instead, or when the log is next opened, whichever comes first, so that a full
// disk never has to hold more than one old log while a new copy is written.
// Like the rest of the log, used on the UI thread only.
class ReplacedLog {
public:
    static void closeLater(int fd)
    {
        closeNow();
        if (QCoreApplication::instance() == nullptr) {
            ::close(fd); // no event loop to wait for
            return;
        }
        held_ = fd;
        QTimer::singleShot(0, QCoreApplication::instance(), [] { closeNow(); });
    }
    static void closeNow()
    {
        if (held_ >= 0)
            ::close(held_);
        held_ = -1;
    }

private:
    static inline int held_ = -1;
};

} // namespace

struct LogFile::Handles {
    QByteArray path;
    int fd = -1;           // the log, open for reading, holding the lock
    bool replaced = false; // by the copy: fd is then the old log
    struct stat st {};
    QFile reader;

    int out = -1; // the replacement copy, or the log itself when rewritten in place
    bool inPlace = false;
    QByteArray copyPath;
    QByteArray newContents; // held back until commit when rewriting in place

    void closeLog()
    {
        reader.close();
        if (fd >= 0 && replaced)
            ReplacedLog::closeLater(fd);
        else if (fd >= 0)
            ::close(fd);
        fd = -1;
        replaced = false;
    }
    void dropRewrite()
    {
        if (out < 0)
            return;
        ::close(out);
        out = -1;
        // The copy may be large and the disk full: it goes at once rather than with the next writer.
        if (!inPlace)
            ::unlink(copyPath.constData());
    }
    bool commitInPlace();
    bool commitCopy();
};

LogFile::LogFile(const QString& path) : h_(std::make_unique<Handles>())
{
    h_->path = QFile::encodeName(path);
}

LogFile::~LogFile()
{
    h_->dropRewrite();
    h_->closeLog();
}

LogFile::Lock LogFile::open(int waitMs)
{
    Handles& h = *h_;
    h.dropRewrite();
    h.closeLog();
    ReplacedLog::closeNow();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        struct stat st {};
        // Checked before opening, so that a device or a pipe is never opened at all; a link is
        // refused by the open itself.
        if (::lstat(h.path.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            return Lock::Failed;
        h.fd = ::open(h.path.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (h.fd < 0)
            return Lock::Failed;
        if (::fstat(h.fd, &h.st) != 0 || !isOwnSingleFile(h.st)) {
            h.closeLog();
            return Lock::Failed;
        }
        const FileLock locked = lockUntil(h.fd, deadline);
        if (locked != FileLock::Taken) {
            h.closeLog();
            return locked == FileLock::Busy ? Lock::Busy : Lock::Failed;
        }
        // The writer that held the lock may have replaced the file meanwhile: then the lock taken
        // belongs to the old file, and the new one is opened and locked instead.
        struct stat now {};
        if (::lstat(h.path.constData(), &now) == 0 && sameFile(now, h.st) && ::fstat(h.fd, &h.st) == 0) {
            if (h.reader.open(h.fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
                return Lock::Taken;
            h.closeLog();
            return Lock::Failed;
        }
        h.closeLog();
    }
}

QIODevice& LogFile::contents()
{
    return h_->reader;
}

qint64 LogFile::size() const
{
    return h_->fd >= 0 ? qint64(h_->st.st_size) : 0;
}

bool LogFile::beginRewrite()
{
    Handles& h = *h_;
    h.dropRewrite();
    h.newContents.clear();
    if (h.fd < 0 || ::faccessat(AT_FDCWD, h.path.constData(), W_OK, AT_EACCESS) != 0)
        return false;
    const qsizetype slash = h.path.lastIndexOf('/');
    h.copyPath = h.path.left(slash + 1) + '.' + h.path.mid(slash + 1) + ".new";

    // Whatever stands under the copy's name was left by a writer that died; removing it rather than
    // truncating it also means nothing is ever written through a link put there.
    if (::unlink(h.copyPath.constData()) == 0 || errno == ENOENT) {
        h.out = ::open(h.copyPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (h.out >= 0) {
            h.inPlace = false;
            // Owner first: changing it may clear the set-id bits that the mode then restores.
            if (::fchown(h.out, h.st.st_uid, h.st.st_gid) != 0) {
                // Not permitted: the copy stays the writer's own, as any file it creates.
            }
            if (::fchmod(h.out, h.st.st_mode & 07777) == 0)
                return true;
            h.dropRewrite();
            return false;
        }
    }
    if (!folderNotWritable(errno))
        return false;
    h.out = ::open(h.path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    h.inPlace = true;
    struct stat st {};
    if (h.out >= 0 && ::fstat(h.out, &st) == 0 && sameFile(st, h.st))
        return true;
    h.dropRewrite();
    return false;
}

bool LogFile::write(const QByteArray& bytes)
{
    Handles& h = *h_;
    if (h.out < 0)
        return false;
    if (h.inPlace) {
        h.newContents += bytes;
        return true;
    }
    return writeAll(h.out, bytes.constData(), bytes.size(), 0, false);
}

bool LogFile::commit()
{
    Handles& h = *h_;
    if (h.out < 0)
        return false;
    const bool done = h.inPlace ? h.commitInPlace() : h.commitCopy();
    h.dropRewrite();
    return done;
}

bool LogFile::Handles::commitCopy()
{
    // On disk before it replaces the log, so that a crash of the system too leaves one whole file.
    const bool written = ::fsync(out) == 0;
    const int copy = out;
    out = -1;
    if (::close(copy) == 0 && written && ::rename(copyPath.constData(), path.constData()) == 0) {
        replaced = true;
        return true;
    }
    ::unlink(copyPath.constData());
    return false;
}

// Unlike the copy this cannot survive a crash halfway, but a full disk still leaves the old
// contents: the part beyond the old end is written first, and only once it fits is the rest
// overwritten, which takes no more room.
bool LogFile::Handles::commitInPlace()
{
    const qint64 oldSize = st.st_size;
    const qint64 newSize = newContents.size();
    const char* data = newContents.constData();
    if (newSize > oldSize && !writeAll(out, data + oldSize, newSize - oldSize, off_t(oldSize), true)) {
        if (::ftruncate(out, off_t(oldSize)) != 0) {
            // Nothing more can be done; the old contents before it are untouched.
        }
        return false;
    }
    return writeAll(out, data, qMin(oldSize, newSize), 0, true) &&
           (newSize >= oldSize || ::ftruncate(out, off_t(newSize)) == 0) && ::fsync(out) == 0;
}
