#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>

#include <array>

class MainWindow;
class QSystemTrayIcon;

// The lamp in the desktop's system tray, where there is one: the same picture and tooltip as the lamp. A click
// brings the main window to the front; the menu opens the log, shows the settings, checks now as "X" does, or
// quits exactly as closing the main window does. Where the desktop has no tray, it shows nothing until one starts. It goes with the main window.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(MainWindow& window);
    ~TrayIcon() override;

    // The icon in the tray; it takes a place there whenever a tray is running.
    QSystemTrayIcon* icon() const { return icon_; }
    QMenu& menu() { return menu_; }

private:
    void showLamp();
    void bringWindowToFront();

    MainWindow& window_;
    std::array<QIcon, 3> lamps_; // by StatusLamp::Picture
    QMenu menu_;
    QSystemTrayIcon* icon_ = nullptr;
};
