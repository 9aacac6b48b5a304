#include "ui/TrayIcon.h"

#include "ui/Artwork.h"
#include "ui/MainWindow.h"

#include <QSystemTrayIcon>

TrayIcon::TrayIcon(MainWindow& window) : QObject(&window), window_(window)
{
    menu_.addAction(QStringLiteral("Open Log"), &window, &MainWindow::openLog);
    menu_.addAction(QStringLiteral("Settings"), &window, &MainWindow::settingsRequested);
    // As "X" on the settings window: a cycle within about 10 to 20 seconds.
    menu_.addAction(QStringLiteral("Check now"), &window, &MainWindow::presetTickCounter)
        ->setObjectName(QStringLiteral("CheckNow"));
    menu_.addAction(QStringLiteral("Quit"), &window, &MainWindow::close);

    for (StatusLamp::Picture picture : {StatusLamp::Image1, StatusLamp::Image2, StatusLamp::Image3})
        lamps_[picture] = Artwork::icon(MainWindow::lampResource(picture));
    // Made and shown whether or not the desktop has a tray yet: started at sign-in, the program often comes before
    // it. Qt's X11 tray support then watches for a tray manager and docks the shown icon in each one that starts,
    // a tray that restarts included, with no polling on our side.
    icon_ = new QSystemTrayIcon(this);
    icon_->setContextMenu(&menu_);
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            bringWindowToFront();
    });
    connect(&window, &MainWindow::lampChanged, this, &TrayIcon::showLamp);
    connect(&window, &MainWindow::closing, icon_, &QSystemTrayIcon::hide);
    showLamp();
    icon_->show();
}

TrayIcon::~TrayIcon()
{
    // Gone before the menu it shows.
    delete icon_;
}

void TrayIcon::showLamp()
{
    icon_->setIcon(lamps_[window_.shownPicture()]);
    icon_->setToolTip(window_.lampToolTip());
}

void TrayIcon::bringWindowToFront()
{
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
}
