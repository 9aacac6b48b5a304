#include "ui/Application.h"

#include "eventlog/EventLog.h"
#include "history/HistoryRecorder.h"
#include "metrics/MetricsWriter.h"
#include "outcome/StatusFile.h"
#include "settings/SettingsStore.h"
#include "systemlog/SilentSystemEvents.h"
#include "ui/DiagnosisWindow.h"
#include "ui/HistoryWindow.h"
#include "ui/Artwork.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QShortcut>

Application::Application(Platform& platform, TargetProbes& probes, EventLog& log, SettingsStore& store,
                         SystemEvents* events, std::unique_ptr<Notifier> notifier, const QString& statusFolder)
    : log_(log), silentEvents_(events == nullptr ? std::make_unique<SilentSystemEvents>() : nullptr),
      events_(events == nullptr ? *silentEvents_ : *events), store_(store), settingsWindow_(store),
      mainWindow_(platform, probes, log), notifier_(notifier ? std::move(notifier) : Notifier::forThisSystem([this] {
          return trayIcon_ != nullptr ? trayIcon_->icon() : nullptr;
      })),
      reporter_(*notifier_, statusFolder.isEmpty() ? StatusFile::defaultFolder() : statusFolder),
      stateFolder_(statusFolder.isEmpty() ? StatusFile::defaultFolder() : statusFolder)
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
    QObject::connect(&mainWindow_, &MainWindow::cycleReported, &mainWindow_, [this](const CycleReport& report) {
        reporter_.report(report, mainWindow_.schedule().secondsToNextCycle());
    });
    QObject::connect(notifier_.get(), &Notifier::clicked, &mainWindow_, [this] { bringMainWindowToFront(); });
}

Application::~Application() = default;

void Application::start()
{
    events_.started(QStringLiteral(PYLVANE_VERSION));
    reporter_.setSystemEvents(&events_);
    // Where an administrator named a metrics folder, the same report goes there after each cycle.
    const QString metricsFolder = store_.metricsFolder();
    if (!metricsFolder.isEmpty()) {
        metrics_ = std::make_unique<MetricsWriter>(metricsFolder, events_);
        reporter_.setMetrics(metrics_.get(), [this] { return log_.entriesWaiting(); });
    }
    // Beside the status file. Opened and read on its own thread now, so that the first cycle's uptime counts the runs
    // before; nothing here waits for it.
    history_ = std::make_unique<HistoryRecorder>(stateFolder_, store_.historyDays(), &events_);
    history_->start();
    reporter_.setHistory(history_.get());
    log_.writeQueuedEntries();
    mainWindow_.show();
    trayIcon_ = new TrayIcon(mainWindow_);
    addNoticeSwitch();
    addDiagnosis();
    addHistory();
    settingsWindow_.loadFields();
    settingsWindow_.show();
    settingsWindow_.raise();
    settingsWindow_.activateWindow();
}

void Application::startedWithoutSessionBus(int seconds)
{
    events_.startedWithoutSessionBus(QStringLiteral(PYLVANE_VERSION), seconds);
}

void Application::addNoticeSwitch()
{
    reporter_.setNotifyChanges(store_.notifyChanges());
    auto* notify = new QAction(QStringLiteral("Notify me of changes"), &trayIcon_->menu());
    notify->setObjectName(QStringLiteral("NotifyChanges"));
    notify->setCheckable(true);
    notify->setChecked(reporter_.notifyChanges());
    // Kept at once and on its own: the settings window's "Save" is about the targets.
    QObject::connect(notify, &QAction::toggled, &mainWindow_, [this](bool on) {
        reporter_.setNotifyChanges(on);
        store_.setNotifyChanges(on);
    });
    mainWindow_.cycle().setConfirmDown(store_.confirmDown());
    auto* confirm = new QAction(QStringLiteral("Check twice before an alarm"), &trayIcon_->menu());
    confirm->setObjectName(QStringLiteral("ConfirmDown"));
    confirm->setCheckable(true);
    confirm->setChecked(mainWindow_.cycle().confirmDown());
    QObject::connect(confirm, &QAction::toggled, &mainWindow_, [this](bool on) {
        mainWindow_.cycle().setConfirmDown(on);
        store_.setConfirmDown(on);
    });
    QMenu& menu = trayIcon_->menu();
    const QList<QAction*> actions = menu.actions();
    menu.insertAction(actions.isEmpty() ? nullptr : actions.last(), notify);
    menu.insertAction(actions.isEmpty() ? nullptr : actions.last(), confirm);
}

void Application::addDiagnosis()
{
    auto* diagnosis = new QAction(QStringLiteral("Diagnosis…"), &trayIcon_->menu());
    diagnosis->setObjectName(QStringLiteral("Diagnosis"));
    QObject::connect(diagnosis, &QAction::triggered, &mainWindow_, [this] {
        if (!diagnosis_)
            setDiagnosisProgram({}, {});
        diagnosis_->showAndRun();
    });
    QMenu& menu = trayIcon_->menu();
    const QList<QAction*> actions = menu.actions();
    menu.insertAction(actions.isEmpty() ? nullptr : actions.last(), diagnosis);
}

void Application::addHistory()
{
    auto* history = new QAction(QStringLiteral("History…"), &trayIcon_->menu());
    history->setObjectName(QStringLiteral("History"));
    QObject::connect(history, &QAction::triggered, &mainWindow_, [this] { showHistory(); });
    QMenu& menu = trayIcon_->menu();
    const QList<QAction*> actions = menu.actions();
    menu.insertAction(actions.isEmpty() ? nullptr : actions.last(), history);
    // A key only: the main window's own layout stays as it is.
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), &mainWindow_);
    shortcut->setObjectName(QStringLiteral("HistoryShortcut"));
    QObject::connect(shortcut, &QShortcut::activated, &mainWindow_, [this] { showHistory(); });
}

void Application::showHistory()
{
    if (!historyWindow_) {
        historyWindow_ = std::make_unique<HistoryWindow>(settingsWindow_, stateFolder_);
        historyWindow_->setWindowIcon(mainWindow_.windowIcon());
    }
    historyWindow_->showAndLoad();
}

void Application::setDiagnosisProgram(const QString& program, const QStringList& arguments)
{
    diagnosis_ = std::make_unique<DiagnosisWindow>(program, arguments);
    diagnosis_->setWindowIcon(mainWindow_.windowIcon());
}

void Application::bringMainWindowToFront()
{
    mainWindow_.setWindowState(mainWindow_.windowState() & ~Qt::WindowMinimized);
    mainWindow_.show();
    mainWindow_.raise();
    mainWindow_.activateWindow();
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
    if (diagnosis_)
        diagnosis_->close();
    if (historyWindow_)
        historyWindow_->close();
    mainWindow_.close();
    // The program ends with the main window, whatever other windows the toolkit still counts.
    QCoreApplication::exit(0);
}
