#pragma once

#include "outcome/Notice.h"
#include "outcome/Notifier.h"
#include "outcome/SessionBusProbe.h"

#include <QDBusConnection>

#include <functional>
#include <memory>
#include <optional>

class DBusNotifier;

// Notices through the notification service on the session bus, reached only once the bus's daemon has been seen
// to answer, so that connecting never holds the program (see SessionBusProbe). Until then a notice waits for the
// answer; where the daemon does not answer, it goes to the tray icon's own message, and the next notice asks again.
// Where the bus address names no local socket, the bus is connected to at once, as Qt would.
class SessionBusNotifier : public Notifier {
    Q_OBJECT
public:
    using Connect = std::function<QDBusConnection()>;

    SessionBusNotifier(TrayLookup tray, const QString& busAddress, Connect open);
    ~SessionBusNotifier() override;

    void show(const Notice& notice) override;

    // Whether the bus has been connected to.
    bool connected() const { return notifier_ != nullptr; }

private:
    void probed(bool alive);
    void connectBus();

    TrayLookup tray_;
    Connect connect_;
    std::optional<SessionBusProbe::Socket> socket_;
    SessionBusProbe probe_;
    std::unique_ptr<DBusNotifier> notifier_;
    std::optional<Notice> waiting_; // the last notice shown while the daemon had not answered yet
};
