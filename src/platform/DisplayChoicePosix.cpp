#include "platform/DisplayChoice.h"

#include "diagnosis/WithinLimit.h"

#include <QByteArray>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kAnswerLimitMs = 1'000;

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// A socket whose connect, begun without waiting, has completed within the deadline; -1 otherwise.
int connected(int fd, const sockaddr* address, socklen_t length, Clock::time_point deadline)
{
    if (::connect(fd, address, length) == 0)
        return fd;
    if (errno == EINPROGRESS) {
        pollfd wait{fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        if (::poll(&wait, 1, remainingMs(deadline)) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
            return fd;
    }
    ::close(fd);
    return -1;
}

int localSocket(int number, bool abstract, Clock::time_point deadline)
{
    sockaddr_un place{};
    place.sun_family = AF_UNIX;
    const QByteArray name = "/tmp/.X11-unix/X" + QByteArray::number(number);
    const std::size_t offset = abstract ? 1 : 0; // an abstract name starts with a nul byte
    std::memcpy(place.sun_path + offset, name.constData(), std::size_t(name.size()));
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(name.size()) + (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd < 0 ? -1 : connected(fd, reinterpret_cast<const sockaddr*>(&place), length, deadline);
}

int tcpSocket(const QByteArray& host, int number, Clock::time_point deadline)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(6000 + number).constData(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (const addrinfo* at = found; at != nullptr && fd < 0 && remainingMs(deadline) > 0; at = at->ai_next) {
        const int attempt = ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
        if (attempt >= 0)
            fd = connected(attempt, at->ai_addr, at->ai_addrlen, deadline);
    }
    ::freeaddrinfo(found);
    return fd;
}

// The X protocol's connection set-up, with no authorization: any server answers it, if only to refuse it, and a
// server that wants a cookie answers as well; only one that is stopped or hung does not.
DisplayAnswer::Kind askServer(const QByteArray& display, int limitMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    const qsizetype colon = display.lastIndexOf(':');
    bool numbered = false;
    const int number = display.mid(colon + 1).split('.').constFirst().toInt(&numbered);
    const QByteArray host = display.left(colon);
    // Forms that are not "host:number" (DECnet's "host::0", a launchd socket path) are left to Qt.
    if (colon < 0 || !numbered || number < 0 || host.endsWith(':') || host.startsWith('/'))
        return DisplayAnswer::Answered;
    int fd = -1;
    if (host.isEmpty() || host == "unix") {
        fd = localSocket(number, false, deadline);
        if (fd < 0)
            fd = localSocket(number, true, deadline);
    } else {
        fd = tcpSocket(host, number, deadline);
    }
    if (fd < 0)
        return remainingMs(deadline) > 0 ? DisplayAnswer::Refused : DisplayAnswer::Silent;
    const char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    DisplayAnswer::Kind kind = DisplayAnswer::Silent;
    if (::send(fd, setup, sizeof setup, MSG_NOSIGNAL) != ssize_t(sizeof setup)) {
        kind = DisplayAnswer::Refused;
    } else {
        // A connection closed at once counts as an answer too: SSH's forwarding of X closes one that brings no
        // cookie, and passes Qt's, which brings it.
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, remainingMs(deadline)) == 1)
            kind = DisplayAnswer::Answered;
    }
    ::close(fd);
    return kind;
}

} // namespace

DisplayAnswer askDisplay(int limitMs)
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {DisplayAnswer::Answered, qEnvironmentVariable("WAYLAND_DISPLAY")};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return {};
    // A host name is looked up, and a name server may not answer either: the lookup has the same limit.
    const std::optional<DisplayAnswer::Kind> kind =
        withinLimit<DisplayAnswer::Kind>([display, limitMs] { return askServer(display, limitMs); }, limitMs + 100);
    return {kind.value_or(DisplayAnswer::Silent), QString::fromLocal8Bit(display)};
}

void chooseOffscreenWithoutDisplay(const QStringList& arguments)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform") ||
            argument.startsWith(QLatin1String("-platform=")) || argument.startsWith(QLatin1String("--platform=")))
            return;
    }
    const DisplayAnswer answer = askDisplay(kAnswerLimitMs);
    QByteArray why;
    switch (answer.kind) {
    case DisplayAnswer::Answered:
        return;
    case DisplayAnswer::NoDisplay:
        why = "no display found (DISPLAY and WAYLAND_DISPLAY are unset)";
        break;
    case DisplayAnswer::Refused:
        why = "the display " + answer.name.toLocal8Bit() + " refuses connections";
        break;
    case DisplayAnswer::Silent:
        why = "the display " + answer.name.toLocal8Bit() + " did not answer within " +
              QByteArray::number(kAnswerLimitMs / 1000) + " s";
        break;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::fprintf(stderr, "pylvane: %s: running on Qt's offscreen platform; monitoring and the log work as usual\n",
                 why.constData());
}
