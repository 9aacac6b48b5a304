#pragma once

#include "monitor/CheckCycle.h"
#include "monitor/CheckSchedule.h"
#include "monitor/StatusLamp.h"
#include "outcome/CycleReporter.h"
#include "outcome/Notifier.h"
#include "service/RunMarker.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>

class EventLog;
class FileTargetFields;
class HistoryRecorder;
class MetricsWriter;
class Platform;
class ServiceNotify;
class SystemEvents;
class TargetProbes;

// A run without a desktop (`pylvane --headless`): the schedule, the cycles, the log, the status file, the system's
// log, the metrics and the history, as the desktop program has them, with the settings from a file rather than from
// the settings window and no window, tray or notice: nothing here needs more than QCoreApplication. The settings are
// read again when asked (SIGHUP), and refused whole when the file is unusable; "check now" (SIGUSR1) does what the
// settings window's "X" does. The service manager hears when the schedule is armed, of each reload and of each
// cycle's outcome (ServiceNotify).
class HeadlessRun : public QObject, public StatusLamp {
    Q_OBJECT
public:
    HeadlessRun(Platform& platform, TargetProbes& probes, EventLog& log, SystemEvents& events, ServiceNotify& notify,
                QString settingsFile, QString stateFolder);
    ~HeadlessRun() override;

    // Starts with `settings`, the file's bytes as read and found usable: kept log entries go in, the schedule is
    // armed (the first cycle about 20 s later) and the service manager hears that the program is ready.
    void start(const QByteArray& settings, const RunMarker::Previous& previous);
    // Reads the settings file again; an unusable one leaves the settings as they are, and one event says why.
    void reload();
    // The next tick of the schedule arms a cycle that logs and alarms all it finds, as "X" does. A cycle never
    // runs inside another: everything here runs on the event loop, one handler at a time.
    void checkNow();
    // The orderly end: what waits for the log is written or kept, the system's log hears of it and the event loop
    // ends. Runs once.
    void end();
    bool ended() const { return ended_; }

    // The folder of status.json and the run's other state, such as the history's database.
    const QString& stateFolder() const { return stateFolder_; }
    CheckSchedule& schedule() { return schedule_; }
    CheckCycle& cycle() { return cycle_; }

    void setPictureVisible(Picture picture, bool visible) override { pictures_[size_t(picture)] = visible; }
    bool isPictureVisible(Picture picture) const override { return pictures_[size_t(picture)]; }
    void cycleEnded(const CycleReport& report) override;

private:
    void useSettings(const QByteArray& settings);

    EventLog& log_;
    SystemEvents& events_;
    ServiceNotify& notify_;
    QString settingsFile_;
    QString stateFolder_;
    std::array<bool, 3> pictures_{false, false, true};
    std::unique_ptr<FileTargetFields> fields_;
    CheckSchedule schedule_;
    CheckCycle cycle_;
    std::unique_ptr<Notifier> notifier_;
    CycleReporter reporter_;
    std::unique_ptr<MetricsWriter> metrics_;
    std::unique_ptr<HistoryRecorder> history_;
    int historyDays_ = 0;
    bool ended_ = false;
};
