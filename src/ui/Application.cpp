#include "ui/Application.h"

#include "eventlog/EventLog.h"
#include "settings/SettingsStore.h"
#include "systemlog/SilentSystemEvents.h"
#include "ui/Artwork.h"
#include "ui/TrayIcon.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QShortcut>

Application::Application(Platform& platform, TargetProbes& probes, EventLog& log, SettingsStore& store,
                         SystemEvents* events)
    : log_(log), silentEvents_(events == nullptr ? std::make_unique<SilentSystemEvents>() : nullptr),
      events_(events == nullptr ? *silentEvents_ : *events), settingsWindow_(store), mainWindow_(platform, probes, log)
{
    const QIcon icon = Artwork::programIcon();
    settingsWindow_.setWindowIcon(icon);
    mainWindow_.setWindowIcon(icon);
    // Named as its title, also when assistive technology asks the borderless window, which shows no title.
    settingsWindow_.setAccessibleName(settingsWindow_.windowTitle());
    // F1 shows the about message from either window.
    new QShortcut(QKeySequence(Qt::Key_F1), &settingsWindow_, &mainWindow_, &MainWindow::showAbout);

    mainWindow_.setTargetFields(&settingsWindow_);
    // The system's log hears of entries left waiting and of the failure command.
    log_.setSystemEvents(&events_);
    mainWindow_.cycle().setSystemEvents(&events_);
    QObject::connect(&mainWindow_, &MainWindow::settingsRequested, &settingsWindow_, [this] { showSettings(); });
    QObject::connect(&mainWindow_, &MainWindow::closing, &settingsWindow_, [this] { end(); });
    // The end of the session closes no window. Asked whether it may end, the program writes what
    // waits and runs on, as the end may yet be called off; when it does end, Qt ends the event loop.
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, &mainWindow_,
                     [this] { log_.writeQueuedEntriesAtEnd(); });
    QObject::connect(qGuiApp, &QGuiApplication::aboutToQuit, &mainWindow_, [this] { end(); });
    QObject::connect(&settingsWindow_, &SettingsWindow::closedWithX, &mainWindow_,
                     [this] { mainWindow_.presetTickCounter(); });
    // The window stays silent about a failed save; the system's log is told.
    QObject::connect(&settingsWindow_, &SettingsWindow::saveFailed, &mainWindow_,
                     [this, &store] { events_.settingsNotSaved(store.location()); });
}

Application::~Application() = default;

void Application::start()
{
    events_.started(QStringLiteral(PYLVANE_VERSION));
    log_.writeQueuedEntries();
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

void Application::end()
{
    if (ended_)
        return;
    ended_ = true;
    // First, as the system may stop the program any moment after it has asked it to end.
    log_.writeQueuedEntriesAtEnd();
    events_.ended(QStringLiteral(PYLVANE_VERSION));
    settingsWindow_.close();
    mainWindow_.close();
    // The program ends with the main window, whatever other windows the toolkit still counts.
    QCoreApplication::exit(0);
}
