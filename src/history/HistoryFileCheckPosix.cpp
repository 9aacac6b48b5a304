#include "history/HistoryFileCheck.h"

#include "history/HistorySchema.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

HistoryFileCheck::Result HistoryFileCheck::check(const QString& folder, QString* why, bool serviceForRoot)
{
    const auto refuse = [why](const char* text) {
        if (why != nullptr)
            *why = QString::fromLatin1(text);
        return Refused;
    };
    const Descriptor dir(open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0)
        return errno == ENOENT ? Missing : refuse("the history's folder is not a folder of your own");
    struct stat info {};
    if (fstat(dir.get(), &info) != 0 || (info.st_uid != geteuid() && !(serviceForRoot && geteuid() == 0)) ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return refuse("the history's folder may be changed by another user");
    // SQLite makes a missing -shm as root with the database's owner, so the service can still open it.
    const uid_t owner = info.st_uid;
    const Descriptor file(openat(dir.get(), HistorySchema::kFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return Missing;
        return refuse(errno == ELOOP ? "the history file is a link" : "the history file cannot be read");
    }
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return refuse("the history file is not a regular file");
    if (info.st_uid != owner)
        return refuse("the history file belongs to another user");
    if (info.st_nlink != 1)
        return refuse("the history file has more than one name");
    // SQLite opens these by name beside the file; a link there would take its reads elsewhere.
    for (const char* suffix : {"-wal", "-shm"}) {
        const QByteArray name = QByteArray(HistorySchema::kFileName) + suffix;
        if (fstatat(dir.get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            return refuse("the history's journal cannot be read");
        }
        if (!S_ISREG(info.st_mode))
            return refuse("the history's journal is a link or not a regular file");
        if (info.st_uid != owner)
            return refuse("the history's journal belongs to another user");
    }
    return Ok;
}
