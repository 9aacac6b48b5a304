#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QSocketNotifier;
class QTimer;

// Whether the session bus's daemon answers, asked without waiting. Qt offers no way to connect to a bus without
// waiting: QDBusConnection::sessionBus() holds the calling thread until the daemon has taken the connection, and a
// daemon that is stopped (not gone) accepts the socket and then never answers, so the caller waits for good. This
// opens the bus's socket itself, on the event loop, and starts the daemon's authentication; any answer within the
// limit shows that the daemon runs, after which connecting takes a moment.
class SessionBusProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int kLimitMs = 3'000;

    struct Socket {
        QString name;
        bool abstract = false; // in Linux's abstract namespace rather than the file system
    };
    // The local socket of a bus address ("unix:path=/run/user/1000/bus", "unix:abstract=/tmp/dbus-x,guid=…"; the
    // first entry that names one). Without an address, the socket that libdbus falls back to in the user's runtime
    // folder. Nothing for other transports, which cannot be asked this way.
    static std::optional<Socket> socketOf(const QString& address);

    explicit SessionBusProbe(QObject* parent = nullptr);
    ~SessionBusProbe() override;

    // Asks the daemon at `socket`; answered() follows once, within kLimitMs.
    void start(const Socket& socket);
    bool running() const { return limit_ != nullptr; }

signals:
    void answered(bool alive);

private:
    void finish(bool alive);

    // A socket of its own rather than QLocalSocket, which would bring in Qt's network library for this alone.
    int fd_ = -1;
    QSocketNotifier* reply_ = nullptr;
    QTimer* limit_ = nullptr;
};
