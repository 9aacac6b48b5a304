#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSystemTrayIcon;
struct Notice;

// Shows the notice of a cycle the way this system shows notices, replacing the one shown before where
// it can. Showing never waits on an outside service.
class Notifier : public QObject {
    Q_OBJECT
public:
    // The tray icon at the moment a notice is shown; null while there is no tray.
    using TrayLookup = std::function<QSystemTrayIcon*()>;

    static std::unique_ptr<Notifier> forThisSystem(TrayLookup tray);

    virtual void show(const Notice& notice) = 0;

signals:
    // The user clicked the notice.
    void clicked();

protected:
    // The tray icon's own message, within the given lengths; nothing where there is no tray.
    void showInTray(QSystemTrayIcon* icon, const Notice& notice, qsizetype maxTitle = -1, qsizetype maxBody = -1);
    // The message as the tray icon gets it.
    virtual void showTrayMessage(QSystemTrayIcon* icon, const QString& title, const QString& text, bool urgent);
};
