#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The file beside the log that holds entries not yet in it, "<log>.pending", in the log's own lines,
// oldest first. It only ever grows by appends, each written before the call returns, so a crash or a
// kill of the program between two entries keeps every entry made before it; it is emptied once its
// entries are in the log, and put on disk whenever they are left waiting in it.
//
// It may lie in a folder that others can write, so it is opened only when it is a regular file of
// this user's with a single name: never through a symbolic link (or, on Windows, any reparse point),
// never a file another user planted, never a hard link to a file kept elsewhere. What was opened is
// checked, not the name. Anything else is left alone and not read.
//
// The lock is taken on the file itself, which the system releases when its holder dies; no lock
// file is left beside it.
class KeptEntriesFile {
public:
    enum class Open {
        Opened,  // open and locked
        Missing, // no such file (only when not asked to create it)
        Busy,    // another writer kept the lock for the whole wait
        Refused, // not a regular file of this user's with one name, or it cannot be opened
    };

    explicit KeptEntriesFile(const QString& path);
    ~KeptEntriesFile(); // releases the lock
    KeptEntriesFile(const KeptEntriesFile&) = delete;
    KeptEntriesFile& operator=(const KeptEntriesFile&) = delete;

    // Opens the file and locks it, creating it (readable by this user only) when `create` is set.
    Open open(bool create, int waitMs);

    // After open: the whole contents; false when they cannot be read.
    bool readAll(QByteArray& contents);
    // After open: adds `bytes` at the end, after a line end when the file's last line has none, and
    // starts putting them on disk. On false nothing may be relied on beyond what was there before.
    bool append(const QByteArray& bytes);
    // After open: puts the contents, and the file's name, on disk, so that a crash of the system keeps
    // them too.
    bool sync();
    // After open: removes the file, or empties it where it cannot be removed; false when neither.
    bool discard();
    // After open: what tells this file from any other while it exists, and its size when opened.
    const QByteArray& identity() const;
    qint64 size() const;

private:
    struct Handles;
    std::unique_ptr<Handles> h_;
};
