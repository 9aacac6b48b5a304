#pragma once

#include "outcome/Notifier.h"

#include <QDBusConnection>
#include <QSet>

class QDBusPendingCallWatcher;

// Notices through the desktop's notification service (org.freedesktop.Notifications) on the session
// bus. Every call is asynchronous, so a missing, slow or hung service never holds the caller; where
// the call fails, the notice goes to the tray icon's own message instead.
class DBusNotifier : public Notifier {
    Q_OBJECT
public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

    DBusNotifier(TrayLookup tray, const QDBusConnection& bus);

    void show(const Notice& notice) override;

    // What the present owner of the service answered about markup in bodies. Texts go out escaped unless it
    // answered that it reads none: escaped text shows "&lt;" on a plain service, raw text on a markup one
    // shows a process name as links and pictures.
    enum class Markup { Unknown, Read, NotRead };
    Markup markup() const { return markup_; }

private slots:
    void actionInvoked(uint id, const QString& action);
    void ownerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    void askCapabilities(const QString& owner);
    void notified(QDBusPendingCallWatcher* call, const Notice& notice);

    TrayLookup tray_;
    QDBusConnection bus_;
    Markup markup_ = Markup::Unknown;
    QString plainOwner_;     // the unique name that answered NotRead
    quint64 generation_ = 0; // counts owners, so an answer from one since gone sets nothing
    uint lastId_ = 0;        // the notice a new one replaces
    QSet<uint> ownIds_;
};
