#include "service/ServiceNotify.h"

#include "platform/ConsoleOutput.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The watchdog's interval from $WATCHDOG_USEC, when $WATCHDOG_PID is unset or names this process.
int watchdogMsFromEnvironment()
{
    bool ok = false;
    const qulonglong usec = qgetenv("WATCHDOG_USEC").toULongLong(&ok);
    if (!ok || usec == 0)
        return 0;
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    if (!pid.isEmpty() && pid.toLongLong() != qint64(::getpid()))
        return 0;
    // Half the manager's limit, as its documentation asks; at least every millisecond, at most every day.
    const qulonglong ms = usec / 2000;
    return int(qBound<qulonglong>(1, ms, 24ull * 3600 * 1000));
}

} // namespace

ServiceNotify::ServiceNotify()
{
    const QByteArray name = qgetenv("NOTIFY_SOCKET");
    watchdogMs_ = name.isEmpty() ? 0 : watchdogMsFromEnvironment();
    // Not handed on: a failure command that spoke to the manager in the service's name would confuse it.
    qunsetenv("NOTIFY_SOCKET");
    qunsetenv("WATCHDOG_USEC");
    qunsetenv("WATCHDOG_PID");
    if (name.isEmpty())
        return;
    sockaddr_un probe{};
    if (name.size() >= qsizetype(sizeof probe.sun_path) || (name[0] != '/' && name[0] != '@')) {
        ConsoleOutput::write(
            QStringLiteral("pylvane: NOTIFY_SOCKET names no socket that can be reached (%1): the "
                           "service manager hears nothing from this run\n")
                .arg(name[0] == '/' || name[0] == '@' ? QStringLiteral("too long") : QStringLiteral("not a path")),
            ConsoleOutput::Error);
        watchdogMs_ = 0;
        return;
    }
    address_ = name;
    shown_ = name;
    if (address_[0] == '@')
        address_[0] = '\0';
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    watchdog_.setInterval(watchdogMs_);
    connect(&watchdog_, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
}

ServiceNotify::~ServiceNotify()
{
    if (socket_ >= 0)
        ::close(socket_);
}

quint64 ServiceNotify::monotonicMicroseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return quint64(now.tv_sec) * 1'000'000u + quint64(now.tv_nsec) / 1000u;
}

void ServiceNotify::send(const QByteArray& message)
{
    if (socket_ < 0)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, address_.constData(), size_t(address_.size()));
    // An abstract name has no closing null: its length is the address's.
    const socklen_t length =
        socklen_t(offsetof(sockaddr_un, sun_path) + size_t(address_.size()) + (address_[0] == '\0' ? 0 : 1));
    if (::sendto(socket_, message.constData(), size_t(message.size()), MSG_NOSIGNAL | MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&address), length) >= 0)
        return;
    const int error = errno;
    // A manager busy for a moment: this message is lost, the next one goes.
    if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS || error == EINTR || failedOnce_)
        return;
    failedOnce_ = true;
    ConsoleOutput::write(QStringLiteral("pylvane: the service manager's socket %1 does not take messages (%2): it "
                                        "may not hear of this run\n")
                             .arg(QString::fromLocal8Bit(shown_), QString::fromLocal8Bit(std::strerror(error))),
                         ConsoleOutput::Error);
}

void ServiceNotify::ready()
{
    send("READY=1");
}

void ServiceNotify::reloading()
{
    send("RELOADING=1\nMONOTONIC_USEC=" + QByteArray::number(monotonicMicroseconds()));
}

void ServiceNotify::status(const QString& line)
{
    // One line: the protocol separates its assignments by line ends.
    QString text = line;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    send("STATUS=" + text.toUtf8());
}

void ServiceNotify::stopping()
{
    watchdog_.stop();
    send("STOPPING=1");
}

void ServiceNotify::startWatchdog()
{
    if (socket_ < 0 || watchdogMs_ <= 0)
        return;
    send("WATCHDOG=1");
    watchdog_.start();
}
