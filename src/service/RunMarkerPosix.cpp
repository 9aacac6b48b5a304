#include "service/RunMarker.h"

#include "outcome/StatusFile.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's start in clock ticks since boot, field 22 of /proc/<pid>/stat: with the number, it names one
// process for good, where the number alone is soon another's.
QByteArray startTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.read(4096);
    // The name in parentheses may hold blanks and parentheses; the fields after its last ')' are plain.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return {};
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // Field 3 (the state) is the first after the name; field 22 is then at index 19.
    return fields.value(19);
}

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[512];
    ssize_t n = 0;
    while (bytes.size() < 4096 && (n = ::pread(fd, buffer, sizeof buffer, bytes.size())) > 0)
        bytes.append(buffer, n);
    return bytes;
}

// The folder opened without following a link, and the marker in it, as a regular file of the user's own.
int openMarker(const QString& folder, int flags, QString* problem)
{
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        *problem = errno == ENOENT ? QStringLiteral("there is no state folder %1").arg(folder)
                                   : QStringLiteral("the state folder %1 cannot be opened").arg(folder);
        return -1;
    }
    const int fd = ::openat(dir, QFile::encodeName(RunMarker::kFileName).constData(),
                            flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    const int error = errno;
    ::close(dir);
    struct stat st {};
    if (fd < 0) {
        *problem = error == ENOENT
                       ? QString()
                       : QStringLiteral("%1 in %2 cannot be opened (%3)")
                             .arg(RunMarker::kFileName, folder, QString::fromLocal8Bit(std::strerror(error)));
        return -1;
    }
    // A link or a FIFO planted under its name is refused; root asking the service may read another user's file.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        (st.st_uid != ::geteuid() && ::geteuid() != 0)) {
        *problem = QStringLiteral("%1 in %2 is not a file of its own").arg(RunMarker::kFileName, folder);
        ::close(fd);
        return -1;
    }
    return fd;
}

class PosixRunMarker : public RunMarker {
public:
    PosixRunMarker(int fd, const Previous& previous) : fd_(fd) { previous_ = previous; }
    ~PosixRunMarker() override { ::close(fd_); }
    PosixRunMarker(const PosixRunMarker&) = delete;
    PosixRunMarker& operator=(const PosixRunMarker&) = delete;

    void orderlyEnd() override
    {
        if (::ftruncate(fd_, 0) != 0) {
        }
    }

private:
    int fd_;
};

} // namespace

std::unique_ptr<RunMarker> RunMarker::take(const QString& folder, QString* problem)
{
    const int fd = openMarker(folder, O_RDWR | O_CREAT, problem);
    if (fd < 0)
        return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const QList<QByteArray> lines = readAll(fd).split('\n');
        *problem = QStringLiteral("another Pylvane (process %1) runs with the state folder %2")
                       .arg(QString::fromLatin1(lines.value(0)), folder);
        ::close(fd);
        return nullptr;
    }
    // Held by no one: whatever it holds was left by a run that ended without emptying it.
    Previous previous;
    const QList<QByteArray> lines = readAll(fd).split('\n');
    previous.pid = lines.value(0).toLongLong();
    previous.unorderlyEnd = previous.pid > 0;
    previous.started = QString::fromLatin1(lines.value(2));
    const QByteArray text = QByteArray::number(qint64(::getpid())) + '\n' + startTicks(::getpid()) + '\n' +
                            StatusFile::timeText(QDateTime::currentDateTime()).toLatin1() + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.constData(), size_t(text.size()), 0) != text.size()) {
        *problem = QStringLiteral("%1 in %2 cannot be written").arg(kFileName, folder);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixRunMarker>(fd, previous);
}

RunMarker::Asked RunMarker::askToCheck(const QString& folder, QString* message)
{
    QString problem;
    const int fd = openMarker(folder, O_RDONLY, &problem);
    const QString none = QStringLiteral("no Pylvane runs with the state folder %1").arg(folder);
    if (fd < 0) {
        *message = problem.isEmpty() ? none : none + QStringLiteral(": ") + problem;
        return Asked::NoneRuns;
    }
    // A lock that can be had is held by no running Pylvane.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    const QList<QByteArray> lines = readAll(fd).split('\n');
    ::close(fd);
    const qint64 pid = lines.value(0).toLongLong();
    if (!held || pid <= 0 || startTicks(pid).isEmpty() || startTicks(pid) != lines.value(1)) {
        *message = none;
        return Asked::NoneRuns;
    }
    if (::kill(pid_t(pid), SIGUSR1) != 0) {
        const int error = errno;
        *message = QStringLiteral("the Pylvane that runs with the state folder %1 (process %2) may not be asked by "
                                  "this user: ask as its user or as root")
                       .arg(folder)
                       .arg(pid);
        return error == EPERM ? Asked::NotAllowed : Asked::NoneRuns;
    }
    *message = QStringLiteral("asked Pylvane (process %1) to check now").arg(pid);
    return Asked::Yes;
}
