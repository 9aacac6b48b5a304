#include "outcome/DBusNotifier.h"

#include "outcome/Notice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QVariantMap>

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// Long enough for a busy desktop; a hung service costs one pending call per cycle at most.
constexpr int kCallTimeoutMs = 20'000;

QDBusMessage call(const QString& destination, const QString& method)
{
    return QDBusMessage::createMethodCall(destination, DBusNotifier::kPath, kInterface, method);
}

} // namespace

DBusNotifier::DBusNotifier(TrayLookup tray, const QDBusConnection& bus) : tray_(std::move(tray)), bus_(bus)
{
    if (!bus_.isConnected())
        return;
    // Matched on any sender: naming the service would make Qt ask the bus for its owner and wait.
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    // A service that starts later, restarts or is replaced may read markup where the one before did not, so
    // each new owner is asked again. The watcher matches the bus daemon's NameOwnerChanged for this name; on
    // Qt 6.4 that only adds a match rule, whose answer nobody awaits, and looks up no owner. It comes before
    // the first question, so no change of owner can fall between the two.
    auto* owners = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this, &DBusNotifier::ownerChanged);
    askCapabilities(kService);
}

void DBusNotifier::ownerChanged(const QString&, const QString&, const QString& newOwner)
{
    ++generation_;
    markup_ = Markup::Unknown;
    plainOwner_.clear();
    if (!newOwner.isEmpty())
        askCapabilities(newOwner);
}

void DBusNotifier::askCapabilities(const QString& owner)
{
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(call(owner, QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, asked = generation_](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        // No answer leaves texts escaped; a late one from an owner since replaced is not about this one.
        if (reply.isError() || asked != generation_)
            return;
        const QString answeredBy = w->reply().service();
        if (reply.value().contains(QStringLiteral("body-markup")) || answeredBy.isEmpty()) {
            markup_ = Markup::Read;
        } else {
            markup_ = Markup::NotRead;
            plainOwner_ = answeredBy;
        }
    });
}

void DBusNotifier::show(const Notice& notice)
{
    if (!bus_.isConnected()) {
        showInTray(tray_(), notice);
        return;
    }
    // Plain text goes only to the connection that said it reads no markup: should the name have passed to
    // another service before the change is seen here, the call fails to the tray instead of reaching it.
    const bool plain = markup_ == Markup::NotRead;
    QDBusMessage message = call(plain ? plainOwner_ : kService, QStringLiteral("Notify"));
    const QString body = notice.body();
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(notice.urgent ? 2 : 1)},
        {QStringLiteral("desktop-entry"), QStringLiteral("pylvane")},
    };
    message << QStringLiteral("Pylvane") << lastId_ << QStringLiteral("pylvane") << notice.title
            << (plain ? body : body.toHtmlEscaped())
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
