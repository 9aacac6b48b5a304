#include "ui/Application.h"

#include "ui/Artwork.h"
#include "ui/TrayIcon.h"

#include <QCoreApplication>
#include <QShortcut>

Application::Application(Platform& platform, TargetProbes& probes, EventLog& log, SettingsStore& store)
    : settingsWindow_(store), mainWindow_(platform, probes, log)
{
    const QIcon icon = Artwork::programIcon();
    settingsWindow_.setWindowIcon(icon);
    mainWindow_.setWindowIcon(icon);
    // Named as its title, also when assistive technology asks the borderless window, which shows no title.
    settingsWindow_.setAccessibleName(settingsWindow_.windowTitle());
    // F1 shows the about message from either window.
    new QShortcut(QKeySequence(Qt::Key_F1), &settingsWindow_, &mainWindow_, &MainWindow::showAbout);

    mainWindow_.setTargetFields(&settingsWindow_);
    QObject::connect(&mainWindow_, &MainWindow::settingsRequested, &settingsWindow_, [this] { showSettings(); });
    QObject::connect(&mainWindow_, &MainWindow::closing, &settingsWindow_, [this] { closeAll(); });
    QObject::connect(&settingsWindow_, &SettingsWindow::closedWithX, &mainWindow_,
                     [this] { mainWindow_.presetTickCounter(); });
}

void Application::start()
{
    mainWindow_.show();
    trayIcon_ = new TrayIcon(mainWindow_);
    settingsWindow_.loadFields();
    settingsWindow_.show();
    settingsWindow_.raise();
    settingsWindow_.activateWindow();
}

void Application::showSettings()
{
    // Shown as it was left: same section, same fields, no reload; only "SAVED!" goes.
    settingsWindow_.show();
    settingsWindow_.raise();
    settingsWindow_.activateWindow();
    settingsWindow_.hideSavedLabel();
}

void Application::closeAll()
{
    settingsWindow_.close();
    // The program ends with the main window, whatever other windows the toolkit still counts.
    QCoreApplication::exit(0);
}
