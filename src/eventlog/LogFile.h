#pragma once

#include <QtGlobal>

#include <memory>

class QByteArray;
class QIODevice;
class QString;

// One change of the log file, from taking its lock to letting it go when the object ends.
//
// The lock is taken on the log file itself, so every writer locks the same thing whether or not it
// may write the folder, and the system releases it when the holder dies: no lock can go stale.
// The new contents go to a copy under one fixed name beside the file, which then replaces it, so a
// writer killed halfway leaves the old file and at most one copy that the next writer removes.
// Where the folder cannot be written but the file can, the file is rewritten in place instead.
// The log may lie in a folder that others can write, so it is used only when it is a regular file of
// this user's with a single name: a symbolic link (on Windows any reparse point), a hard link, a file
// of another user's, a pipe or a device is left alone, neither read nor written. What was opened is
// checked, not the name.
class LogFile {
public:
    enum class Lock { Taken, Busy, Failed };

    explicit LogFile(const QString& path);
    // Drops an unfinished rewrite and releases the lock.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens the file, creating it empty when missing, and locks it, waiting at most `waitMs` for
    // another writer. Failed: the file cannot be opened, or is not a regular file of this user's.
    Lock open(int waitMs);

    // After open: the contents from the start, and their size.
    QIODevice& contents();
    qint64 size() const;

    // Starts the new contents; false when the file may not be written.
    bool beginRewrite();
    bool write(const QByteArray& bytes);
    // Makes what was written the file's contents, keeping its mode and, where permitted, its owner.
    // On false the file is left as it was.
    bool commit();

private:
    struct Handles;
    std::unique_ptr<Handles> h_;
};
