#include "outcome/SessionBusQuestion.h"

#include "outcome/SessionBusProbe.h"

#include <QByteArray>
#include <QFile>

#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The same question as SessionBusProbe's, without an event loop, which does not exist yet.
SessionBusQuestion::Answer SessionBusQuestion::ask(int limitMs)
{
    const std::optional<SessionBusProbe::Socket> socket =
        SessionBusProbe::socketOf(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
    if (!socket)
        return Answer::NoBus;
    sockaddr_un place{};
    place.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socket->name);
    const std::size_t offset = socket->abstract ? 1 : 0; // an abstract name starts with a nul byte
    if (name.size() + offset >= sizeof place.sun_path)
        return Answer::NoBus;
    std::memcpy(place.sun_path + offset, name.constData(), std::size_t(name.size()));
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(name.size()) + (socket->abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Answer::NoBus;
    const QByteArray hello =
        QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(uint(::getuid())).toHex() + "\r\n";
    Answer answer = Answer::Silent;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&place), length) != 0) {
        // A full queue (EAGAIN) is a daemon that does not take connections: it does not answer either.
        answer = errno == EAGAIN ? Answer::Silent : Answer::NoBus;
    } else if (::send(fd, hello.constData(), std::size_t(hello.size()), MSG_NOSIGNAL) == hello.size()) {
        pollfd wait{fd, POLLIN, 0};
        char reply[64];
        // "OK <guid>" or "REJECTED …": either way the daemon is there and answers. A closed socket is no bus.
        if (::poll(&wait, 1, limitMs) == 1)
            answer = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT) > 0 ? Answer::Answered : Answer::NoBus;
    }
    ::close(fd);
    return answer;
}

void SessionBusQuestion::leaveBusAlone()
{
    // Not unset: libdbus would then look for the bus in the runtime folder, where the same daemon listens, or start
    // one of its own for the display. Connecting to a device that is no socket fails at once.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null");
}
