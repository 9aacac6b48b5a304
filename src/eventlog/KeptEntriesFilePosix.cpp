#include "eventlog/KeptEntriesFile.h"

#include "eventlog/PosixFileChecks.h"

#include <QFile>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file is open for appending only, which an append-only file requires.
bool appendAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size_t(size));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= done;
    }
    return true;
}

// A new name is on disk only once its folder is.
void syncFolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::fsync(fd) != 0) {
        // The file's own contents are on disk; at worst its name is lost with the system.
    }
    ::close(fd);
}

} // namespace

struct KeptEntriesFile::Handles {
    QByteArray path;
    int fd = -1;
    bool writable = false;
    struct stat st {};
    QByteArray identity;

    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    // Opens the name as it stands; -1 with errno set when it cannot, or is not this user's file.
    int openOnce(bool create);
};

KeptEntriesFile::KeptEntriesFile(const QString& path) : h_(std::make_unique<Handles>())
{
    h_->path = QFile::encodeName(path);
}

KeptEntriesFile::~KeptEntriesFile()
{
    h_->close();
}

int KeptEntriesFile::Handles::openOnce(bool create)
{
    // O_NOFOLLOW: a link planted under this name, even one whose target is missing, is never
    // followed, neither to read another file of this user's nor to create one elsewhere.
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    writable = true;
    int opened = ::open(path.constData(), O_RDWR | O_APPEND | kFlags);
    if (opened < 0 && (errno == EACCES || errno == EPERM)) {
        // A file that may be read but not written still has entries to bring in.
        writable = false;
        opened = ::open(path.constData(), O_RDONLY | kFlags);
    }
    if (opened < 0 && errno == ENOENT && create) {
        writable = true;
        opened = ::open(path.constData(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | kFlags, 0600);
    }
    return opened;
}

KeptEntriesFile::Open KeptEntriesFile::open(bool create, int waitMs)
{
    Handles& h = *h_;
    h.close();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        h.fd = h.openOnce(create);
        if (h.fd < 0) {
            if (errno == EEXIST)
                continue; // created by another writer meanwhile
            return errno == ENOENT ? Open::Missing : Open::Refused;
        }
        if (::fstat(h.fd, &h.st) != 0 || !isOwnSingleFile(h.st)) {
            h.close();
            return Open::Refused;
        }
        const FileLock locked = lockUntil(h.fd, deadline);
        if (locked != FileLock::Taken) {
            h.close();
            return locked == FileLock::Busy ? Open::Busy : Open::Refused;
        }
        // The holder may have removed the file meanwhile; the name is then looked up again, so
        // that nothing is appended to a file no longer there.
        struct stat now {};
        if (::lstat(h.path.constData(), &now) == 0 && sameFile(now, h.st) && ::fstat(h.fd, &h.st) == 0) {
            h.identity = fileIdentity(h.st);
            return Open::Opened;
        }
        h.close();
    }
}

bool KeptEntriesFile::readAll(QByteArray& contents)
{
    Handles& h = *h_;
    contents.clear();
    if (h.fd < 0)
        return false;
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(h.fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        contents.append(buffer, got);
        at += got;
    }
}

bool KeptEntriesFile::append(const QByteArray& bytes)
{
    Handles& h = *h_;
    struct stat st {};
    if (h.fd < 0 || !h.writable || ::fstat(h.fd, &st) != 0)
        return false;
    QByteArray text = bytes;
    char last = '\n';
    if (st.st_size > 0 && ::pread(h.fd, &last, 1, st.st_size - 1) != 1)
        return false;
    // A damaged file whose last line has no end would otherwise join that line to this entry.
    if (last != '\n' && last != '\r')
        text.prepend("\r\n");
    if (!appendAll(h.fd, text.constData(), text.size())) {
        // A full disk: whatever part went in is taken back, so the file holds whole entries only.
        if (::ftruncate(h.fd, st.st_size) != 0) {
        }
        return false;
    }
    // Started on its way to the disk without waiting for it: a sync per entry costs a few milliseconds
    // each, which 35 entries would add to a cycle, while an entry written survives a kill or a crash
    // of the program as it is. What the entries wait in is put on disk with sync().
    if (::sync_file_range(h.fd, st.st_size, text.size(), SYNC_FILE_RANGE_WRITE) != 0) {
        // Write-back comes all the same, only later.
    }
    return true;
}

bool KeptEntriesFile::sync()
{
    Handles& h = *h_;
    if (h.fd < 0 || ::fdatasync(h.fd) != 0)
        return false;
    syncFolderOf(h.path);
    return true;
}

bool KeptEntriesFile::discard()
{
    Handles& h = *h_;
    if (h.fd < 0)
        return false;
    // Only the file that was opened goes, not whatever may stand under its name by now.
    struct stat now {};
    if (::lstat(h.path.constData(), &now) == 0 && sameFile(now, h.st) && ::unlink(h.path.constData()) == 0)
        return true;
    return h.writable && ::ftruncate(h.fd, 0) == 0 && ::fdatasync(h.fd) == 0;
}

const QByteArray& KeptEntriesFile::identity() const
{
    return h_->identity;
}

qint64 KeptEntriesFile::size() const
{
    return h_->fd >= 0 ? qint64(h_->st.st_size) : 0;
}
