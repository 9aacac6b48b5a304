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

private slots:
    void actionInvoked(uint id, const QString& action);

private:
    void askCapabilities();
    void notified(QDBusPendingCallWatcher* call, const Notice& notice);

    TrayLookup tray_;
    QDBusConnection bus_;
    bool markup_ = false; // the service reads the body as markup, so it must be escaped
    uint lastId_ = 0;     // the notice a new one replaces
    QSet<uint> ownIds_;
};
