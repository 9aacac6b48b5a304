#pragma once

#include <QByteArray>

#include <cerrno>
#include <chrono>
#include <thread>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// What the log writer asks of every file it opens beside the log.

inline bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A regular file of the user running the program, under this one name only. In a folder that others
// may write, anything else may have been planted: a link (hard or symbolic) to a private file would
// copy it into the log, and another user's file is not this program's to read or change.
inline bool isOwnSingleFile(const struct stat& st)
{
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
}

inline QByteArray fileIdentity(const struct stat& st)
{
    return QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino));
}

enum class FileLock { Taken, Busy, Failed };

// Takes the exclusive lock on `fd`, trying again every few milliseconds until `deadline`. The system
// lets it go when its holder dies, so no lock can go stale.
inline FileLock lockUntil(int fd, std::chrono::steady_clock::time_point deadline)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return FileLock::Failed;
        if (std::chrono::steady_clock::now() >= deadline)
            return FileLock::Busy;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return FileLock::Taken;
}
