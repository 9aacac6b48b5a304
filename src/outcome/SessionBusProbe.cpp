#include "outcome/SessionBusProbe.h"

#include <QByteArray>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

std::optional<SessionBusProbe::Socket> SessionBusProbe::socketOf(const QString& address)
{
    if (address.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return std::nullopt;
        return Socket{runtime + QStringLiteral("/bus"), false};
    }
    for (const QString& entry : address.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!entry.startsWith(QLatin1String("unix:")))
            continue;
        for (const QString& pair : entry.mid(5).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString key = pair.section(QLatin1Char('='), 0, 0);
            // Values are written with %-escapes, as in a URL.
            const QString value = QUrl::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toUtf8());
            if (key == QLatin1String("path") && !value.isEmpty())
                return Socket{value, false};
            if (key == QLatin1String("abstract") && !value.isEmpty())
                return Socket{value, true};
        }
    }
    return std::nullopt;
}

SessionBusProbe::SessionBusProbe(QObject* parent) : QObject(parent) {}

SessionBusProbe::~SessionBusProbe()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void SessionBusProbe::start(const Socket& socket)
{
    if (running())
        return;
    limit_ = new QTimer(this);
    limit_->setSingleShot(true);
    connect(limit_, &QTimer::timeout, this, [this] { finish(false); });
    limit_->start(kLimitMs);

    sockaddr_un place{};
    place.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socket.name);
    const std::size_t offset = socket.abstract ? 1 : 0; // an abstract name starts with a nul byte
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || name.size() + offset >= sizeof place.sun_path) {
        // Answered on the event loop's next turn, as every other outcome is.
        QTimer::singleShot(0, this, [this] { finish(false); });
        return;
    }
    std::memcpy(place.sun_path + offset, name.constData(), std::size_t(name.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(name.size()) +
                                  (socket.abstract ? 0 : 1));
    // A local connect completes at once, also to a daemon that is stopped, whose queue takes it; one that cannot
    // (a full queue) fails with EAGAIN, and such a daemon does not answer either.
    const QByteArray hello =
        QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(uint(getuid())).toHex() + "\r\n";
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&place), length) != 0 ||
        ::send(fd_, hello.constData(), std::size_t(hello.size()), MSG_NOSIGNAL) != hello.size()) {
        QTimer::singleShot(0, this, [this] { finish(false); });
        return;
    }
    reply_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(reply_, &QSocketNotifier::activated, this, [this] {
        // "OK <guid>" or "REJECTED …": either way the daemon is there and answers. A closed socket is no answer.
        char answer[64];
        finish(::recv(fd_, answer, sizeof answer, MSG_DONTWAIT) > 0);
    });
}

void SessionBusProbe::finish(bool alive)
{
    if (!running())
        return;
    if (reply_ != nullptr) {
        reply_->setEnabled(false);
        reply_->deleteLater();
        reply_ = nullptr;
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    limit_->stop();
    limit_->deleteLater();
    limit_ = nullptr;
    emit answered(alive);
}
