#include "service/HeadlessRun.h"

#include "eventlog/EventLog.h"
#include "history/HistoryRecorder.h"
#include "metrics/MetricsWriter.h"
#include "outcome/StatusCheck.h"
#include "outcome/StatusFile.h"
#include "service/ConfigCheck.h"
#include "service/ConfigFile.h"
#include "service/FileTargetFields.h"
#include "service/ServiceNotify.h"
#include "settings/SettingsStore.h"
#include "systemlog/SystemEvents.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTime>

#include <cstdio>

namespace {

// No notices without a desktop: the system's log, the status file and the metrics tell of the changes.
class NoNotices : public Notifier {
public:
    void show(const Notice&) override {}
};

void say(const QString& text)
{
    std::fprintf(stderr, "pylvane: %s\n", text.toLocal8Bit().constData());
}

} // namespace

HeadlessRun::HeadlessRun(Platform& platform, TargetProbes& probes, EventLog& log, SystemEvents& events,
                         ServiceNotify& notify, QString settingsFile, QString stateFolder)
    : log_(log), events_(events), notify_(notify), settingsFile_(std::move(settingsFile)),
      stateFolder_(std::move(stateFolder)), schedule_(this), cycle_(*this, probes, log, platform, schedule_.Timer1()),
      notifier_(std::make_unique<NoNotices>()), reporter_(*notifier_, stateFolder_)
{
    log_.setSystemEvents(&events_);
    cycle_.setSystemEvents(&events_);
    reporter_.setNotifyChanges(false);
    reporter_.setSystemEvents(&events_);
    connect(&schedule_.Timer1(), &QTimer::timeout, this, [this] { cycle_.run(); });
}

HeadlessRun::~HeadlessRun()
{
    // The cycle must not be left reading fields that are gone.
    cycle_.setFields(nullptr);
}

void HeadlessRun::start(const QByteArray& settings, const RunMarker::Previous& previous)
{
    events_.started(QStringLiteral(PYLVANE_VERSION));
    if (previous.unorderlyEnd)
        events_.startedAfterUnorderlyEnd(QStringLiteral(PYLVANE_VERSION), previous.pid, previous.started);
    useSettings(settings);
    log_.writeQueuedEntries();
    schedule_.load();
    notify_.ready();
    const int firstCheckSeconds = 2 * CheckSchedule::kIntervalMs / 1000;
    notify_.status(QStringLiteral("waiting for the first check at %1")
                       .arg(QTime::currentTime().addSecs(firstCheckSeconds).toString(QStringLiteral("hh:mm:ss"))));
    notify_.startWatchdog();
}

void HeadlessRun::useSettings(const QByteArray& settings)
{
    const SettingsStore store = SettingsStore::fromIni(settingsFile_, settings);
    auto fields = std::make_unique<FileTargetFields>(store);
    cycle_.setFields(fields.get());
    fields_ = std::move(fields);
    cycle_.setConfirmDown(store.confirmDown());
    // The history beside the status file; a reload that changes how many days it keeps starts it again, after what
    // waits has been written.
    if (!history_ || historyDays_ != store.historyDays()) {
        reporter_.setHistory(nullptr);
        history_.reset();
        historyDays_ = store.historyDays();
        history_ = std::make_unique<HistoryRecorder>(stateFolder_, historyDays_, &events_);
        history_->start();
        reporter_.setHistory(history_.get());
    }
    const QString metricsFolder = store.metricsFolder();
    if (metrics_ && metrics_->folder() == metricsFolder)
        return;
    metrics_.reset();
    if (!metricsFolder.isEmpty())
        metrics_ = std::make_unique<MetricsWriter>(metricsFolder, events_);
    reporter_.setMetrics(metrics_.get(), [this] { return log_.entriesWaiting(); });
}

void HeadlessRun::reload()
{
    if (ended_)
        return;
    notify_.reloading();
    const ConfigFile::Contents contents = ConfigFile::read(settingsFile_);
    const ConfigCheck::Result check = ConfigCheck::of(settingsFile_, contents.bytes, contents.refusal);
    if (check.code == ConfigCheck::Unusable) {
        // A watcher is never left running nothing: the settings it has stay.
        events_.settingsNotReloaded(settingsFile_, check.reason);
        say(QStringLiteral("the settings in %1 were not read again: %2; the settings before stay in force")
                .arg(settingsFile_, check.reason));
        notify_.status(QStringLiteral("settings not read again: %1").arg(check.reason));
    } else {
        useSettings(contents.bytes);
        say(QStringLiteral("read the settings in %1 again").arg(settingsFile_));
        notify_.status(QStringLiteral("settings read again"));
    }
    notify_.ready();
}

void HeadlessRun::checkNow()
{
    if (ended_)
        return;
    schedule_.preset();
    cycle_.wholeCycleAsked();
}

void HeadlessRun::cycleEnded(const CycleReport& report)
{
    // A target found down once is looked at again by the next cycle, brought forward as "X" brings it.
    if (report.anyConfirming())
        schedule_.preset();
    const int nextSeconds = schedule_.secondsToNextCycle();
    reporter_.report(report, nextSeconds);
    // The monitoring plugin's line without its performance data, as `systemctl status` shows it.
    const QByteArray json = StatusFile::json(
        report, [](int) { return QDateTime(); }, nextSeconds);
    const QString line = StatusCheck::evaluate(json, QDateTime::currentDateTime()).line;
    notify_.status(line.section(QStringLiteral(" | "), 0, 0));
}

void HeadlessRun::end()
{
    if (ended_)
        return;
    ended_ = true;
    notify_.stopping();
    // First, as the system may stop the program any moment after it has asked it to end.
    log_.writeQueuedEntriesAtEnd();
    events_.ended(QStringLiteral(PYLVANE_VERSION));
    schedule_.Timer1().stop();
    schedule_.Timer2().stop();
    QCoreApplication::exit(0);
}
