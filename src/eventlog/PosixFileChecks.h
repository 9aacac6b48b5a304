#pragma once

#include <QByteArray>

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
