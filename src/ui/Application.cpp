#include "ui/Application.h"

#include <QCoreApplication>
#include <QIcon>

namespace {

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/pylvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

Application::Application(Platform& platform, TargetProbes& probes, EventLog& log, SettingsStore& store)
    : settingsWindow_(store), mainWindow_(platform, probes, log)
{
    const QIcon icon = programIcon();
    settingsWindow_.setWindowIcon(icon);
    mainWindow_.setWindowIcon(icon);

    mainWindow_.setTargetFields(&settingsWindow_);
    QObject::connect(&mainWindow_, &MainWindow::settingsRequested, &settingsWindow_, [this] { showSettings(); });
    QObject::connect(&mainWindow_, &MainWindow::closing, &settingsWindow_, [this] { closeAll(); });
    QObject::connect(&settingsWindow_, &SettingsWindow::closedWithX, &mainWindow_,
                     [this] { mainWindow_.presetTickCounter(); });
}

void Application::start()
{
    mainWindow_.show();
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
