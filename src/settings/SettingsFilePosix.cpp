#include "settings/SettingsFile.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
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
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Who owns a file and with which permission bits.
struct Ownership {
    mode_t mode = 0600;
    uid_t owner = ::geteuid();
    gid_t group = ::getegid();
};

// The file that a write to `path` must replace, following symlinks; nothing when it may not be
// replaced. `existing` tells whether there is one yet.
std::optional<QByteArray> replaceableTarget(const QByteArray& path, struct stat& existing, bool& exists)
{
    exists = false;
    struct stat link {};
    if (::lstat(path.constData(), &link) != 0)
        return errno == ENOENT ? std::optional(path) : std::nullopt;
    // A symlink to nothing is refused too: it is not ours to turn into a file.
    if (::stat(path.constData(), &existing) != 0 || !S_ISREG(existing.st_mode))
        return std::nullopt;
    exists = true;
    if (!S_ISLNK(link.st_mode))
        return ::access(path.constData(), W_OK) == 0 ? std::optional(path) : std::nullopt;
    char* resolved = ::realpath(path.constData(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    const QByteArray target(resolved);
    std::free(resolved);
    return ::access(target.constData(), W_OK) == 0 ? std::optional(target) : std::nullopt;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A temporary file beside `target`, filled, given `ownership` and renamed over `target`; a refused
// step removes the temporary file and leaves `target` as it was.
bool writeByRename(const QByteArray& target, const QByteArray& bytes, const Ownership& ownership)
{
    QByteArray temporary = target + ".XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    struct stat made {};
    // The owner is set before the mode, since a change of owner clears set-id bits.
    const bool written = writeAll(fd.get(), bytes) && ::fstat(fd.get(), &made) == 0 &&
                         ((made.st_uid == ownership.owner && made.st_gid == ownership.group) ||
                          ::fchown(fd.get(), ownership.owner, ownership.group) == 0) &&
                         ::fchmod(fd.get(), ownership.mode) == 0 && ::fsync(fd.get()) == 0;
    if (!fd.close() || !written || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

} // namespace

SettingsFile::Contents SettingsFile::read(const QString& path)
{
    // Only a regular file is opened: opening a FIFO waits for a writer, and opening a device can
    // do things of its own. The check is repeated on the open file in case the path changed.
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? State::Missing : State::Refused, {}};
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxSize)
        return {State::Refused, {}};
    Descriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {State::Refused, {}};

    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || bytes.size() + n > kMaxSize)
            return {State::Refused, {}};
        if (n == 0)
            return {State::Read, bytes};
        bytes.append(buffer, n);
    }
}

bool SettingsFile::replace(const QString& path, const QByteArray& bytes, const std::optional<QByteArray>& previous)
{
    struct stat existing {};
    bool exists = false;
    const std::optional<QByteArray> target = replaceableTarget(QFile::encodeName(path), existing, exists);
    if (!target)
        return false;
    Ownership ownership;
    if (exists)
        ownership = {existing.st_mode & 07777, existing.st_uid, existing.st_gid};

    if (previous && exists) {
        struct stat backupStat {};
        bool backupExists = false;
        const std::optional<QByteArray> backup = replaceableTarget(*target + ".bak", backupStat, backupExists);
        if (!backup || !writeByRename(*backup, *previous, ownership))
            return false;
    }
    return writeByRename(*target, bytes, ownership);
}
