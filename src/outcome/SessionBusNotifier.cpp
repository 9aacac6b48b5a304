#include "outcome/SessionBusNotifier.h"

#include "outcome/DBusNotifier.h"

std::unique_ptr<Notifier> Notifier::forThisSystem(TrayLookup tray)
{
    return std::make_unique<SessionBusNotifier>(std::move(tray), qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                                [] { return QDBusConnection::sessionBus(); });
}

SessionBusNotifier::SessionBusNotifier(TrayLookup tray, const QString& busAddress, Connect open)
    : tray_(std::move(tray)), connect_(std::move(open)), socket_(SessionBusProbe::socketOf(busAddress))
{
    connect(&probe_, &SessionBusProbe::answered, this, &SessionBusNotifier::probed);
    if (socket_)
        probe_.start(*socket_);
    else
        connectBus();
}

SessionBusNotifier::~SessionBusNotifier() = default;

void SessionBusNotifier::show(const Notice& notice)
{
    if (notifier_) {
        notifier_->show(notice);
        return;
    }
    if (probe_.running()) {
        // A newer notice replaces the one before, as it would on the desktop.
        waiting_ = notice;
        return;
    }
    showInTray(tray_(), notice);
    probe_.start(*socket_);
}

void SessionBusNotifier::probed(bool alive)
{
    if (alive)
        connectBus();
    const std::optional<Notice> waiting = std::exchange(waiting_, std::nullopt);
    if (!waiting)
        return;
    if (notifier_)
        notifier_->show(*waiting);
    else
        showInTray(tray_(), *waiting);
}

void SessionBusNotifier::connectBus()
{
    notifier_ = std::make_unique<DBusNotifier>(tray_, connect_());
    connect(notifier_.get(), &Notifier::clicked, this, &Notifier::clicked);
}
