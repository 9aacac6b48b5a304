#pragma once

#include "outcome/CycleReporter.h"
#include "outcome/Notifier.h"
#include "settings/SettingsWindow.h"
#include "ui/MainWindow.h"

#include <memory>

class EventLog;
class Platform;
class SettingsStore;
class SystemEvents;
class TargetProbes;
class DiagnosisWindow;
class HistoryRecorder;
class HistoryWindow;
class MetricsWriter;
class TrayIcon;

// The two windows of a run and how they meet. The settings window is the start-up window and holds
// the live configuration that the main window's check cycle reads; closing the main window ends
// the program, settings window included.
class Application {
public:
    // `events` hears of the program's start and end, of a save that failed and of what each cycle
    // changed; without it, no one does. Without `notifier`, notices go the way this system shows them;
    // without `statusFolder`, the status file goes to the user's state folder.
    Application(Platform& platform, TargetProbes& probes, EventLog& log, SettingsStore& store,
                SystemEvents* events = nullptr, std::unique_ptr<Notifier> notifier = {},
                const QString& statusFolder = {});
    ~Application();

    // The start-up window's load: log entries kept by the last run go in first; then the main window
    // shows (which presets the tick counter and starts the schedule), the stored settings fill the
    // fields, and the settings window comes up in front with "IP Cams" showing.
    void start();

    // The orderly end, however it came: the main window closed, the system asking, or the event
    // loop ending otherwise. What waits for the log is written or kept for the next start, both
    // windows close and the event loop ends. Runs once.
    void end();

    // What "X" on the settings window does: the next tick of the schedule arms a cycle that logs and alarms all it
    // finds. The tray's "Check now" and `pylvane --check-now` ask for it too.
    void checkNow() { mainWindow_.presetTickCounter(); }

    // The system's log hears that this run goes without the session bus, which did not answer within `seconds`.
    void startedWithoutSessionBus(int seconds);

    MainWindow& mainWindow() { return mainWindow_; }
    SettingsWindow& settingsWindow() { return settingsWindow_; }
    // The lamp in the system tray, from start() on; it shows nothing where the desktop has no tray.
    TrayIcon* trayIcon() { return trayIcon_; }
    CycleReporter& reporter() { return reporter_; }
    // The history of checks, from start() on.
    HistoryRecorder* history() { return history_.get(); }
    // The tray menu's "Diagnosis…" window, once it has been asked for; `program` and `arguments` make its report
    // (by default this program with "--diagnose").
    DiagnosisWindow* diagnosisWindow() { return diagnosis_.get(); }
    void setDiagnosisProgram(const QString& program, const QStringList& arguments);
    // The History window, once it has been asked for from the tray's "History…" or with Ctrl+H.
    HistoryWindow* historyWindow() { return historyWindow_.get(); }
    void showHistory();

private:
    void showSettings();
    void addNoticeSwitch();
    void addDiagnosis();
    void addHistory();
    void bringMainWindowToFront();

    EventLog& log_;
    std::unique_ptr<SystemEvents> silentEvents_;
    SystemEvents& events_;
    SettingsStore& store_;
    bool ended_ = false;

    // The settings window outlives the main window, whose cycle reads its fields.
    SettingsWindow settingsWindow_;
    MainWindow mainWindow_;
    TrayIcon* trayIcon_ = nullptr; // owned by the main window, and gone with it
    std::unique_ptr<Notifier> notifier_;
    CycleReporter reporter_;
    std::unique_ptr<MetricsWriter> metrics_;
    QString stateFolder_;
    std::unique_ptr<HistoryRecorder> history_;
    std::unique_ptr<DiagnosisWindow> diagnosis_; // made when first asked for
    std::unique_ptr<HistoryWindow> historyWindow_; // made when first asked for
};
