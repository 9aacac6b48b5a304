#include "outcome/DBusNotifier.h"

#include "outcome/Notice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// Long enough for a busy desktop; a hung service costs one pending call per cycle at most.
constexpr int kCallTimeoutMs = 20'000;

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(DBusNotifier::kService, DBusNotifier::kPath, kInterface, method);
}

} // namespace

DBusNotifier::DBusNotifier(TrayLookup tray, const QDBusConnection& bus) : tray_(std::move(tray)), bus_(bus)
{
    if (!bus_.isConnected())
        return;
    // Matched on any sender: naming the service would make Qt ask the bus for its owner and wait.
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    askCapabilities();
}

void DBusNotifier::askCapabilities()
{
    auto* watcher =
        new QDBusPendingCallWatcher(bus_.asyncCall(call(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError())
            markup_ = reply.value().contains(QStringLiteral("body-markup"));
        w->deleteLater();
    });
}

void DBusNotifier::show(const Notice& notice)
{
    if (!bus_.isConnected()) {
        showInTray(tray_(), notice);
        return;
    }
    QDBusMessage message = call(QStringLiteral("Notify"));
    const QString body = notice.body();
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(notice.urgent ? 2 : 1)},
        {QStringLiteral("desktop-entry"), QStringLiteral("pylvane")},
    };
    message << QStringLiteral("Pylvane") << lastId_ << QStringLiteral("pylvane") << notice.title
            << (markup_ ? body.toHtmlEscaped() : body)
            << QStringList{QStringLiteral("default"), QStringLiteral("Show Pylvane")} << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, notice](QDBusPendingCallWatcher* w) { notified(w, notice); });
}

void DBusNotifier::notified(QDBusPendingCallWatcher* call, const Notice& notice)
{
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
        // No service on this bus, or one that did not answer: the tray says it, where there is one.
        showInTray(tray_(), notice);
        return;
    }
    lastId_ = reply.value();
    ownIds_.insert(lastId_);
}

void DBusNotifier::actionInvoked(uint id, const QString& action)
{
    if (ownIds_.contains(id) && action == QStringLiteral("default"))
        emit clicked();
}
