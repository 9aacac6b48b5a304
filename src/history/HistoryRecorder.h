#pragma once

#include "history/HistoryCycle.h"
#include "history/HistoryDatabase.h"
#include "history/RecentUptime.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

class SystemEvents;
struct CycleReport;
struct TargetReport;

// Keeps each cycle's report in the history. The UI thread hands the report over and goes on: a lock another
// program holds may last a second and a durable commit waits for the disk, so one worker thread of its own owns the
// database and writes the cycles in order, a few at most waiting. A fault is said once in the system's log, and
// again only after it cleared; none stops the cycle, the log or the lamp.
class HistoryRecorder {
public:
    static constexpr std::size_t kQueueLimit = 3;

    // `events` is told on the UI thread; without it, no one is.
    HistoryRecorder(QString folder, int keepDays, SystemEvents* events);
    // Writes what waits (each write is bounded by the busy timeout), then ends the worker.
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // Opens the database on the worker and reads the last day's checks, so that the first cycle's uptime counts
    // the runs before. Never waits.
    void start();
    // Hands the cycle to the worker and counts it for the uptime at once. Never waits on the database.
    void record(const CycleReport& report);
    // The share of the last day's checks that found the target, as it is named now, up; nothing before the first
    // check that knew.
    std::optional<double> uptime24h(const TargetReport& target, const QDateTime& at);

    // For tests: the database fills at this many pages, as a full disk does; 0 lifts it.
    void setPageLimit(int pages);
    // For tests: waits until every cycle handed over is written or given up, at most `timeoutMs`.
    bool waitIdle(int timeoutMs);
    std::optional<HistoryDatabase::Outcome> lastOutcome() const;

private:
    enum class Fault { Refused, Damaged, DiskFull, Locked, Failed, FellBehind };

    void work();
    bool ensureOpen();
    void write(const HistoryCycle& cycle);
    // Said once until cleared; a damaged file set aside is said each time it happens.
    void say(Fault fault, const QString& text);
    void clear(Fault fault) { said_.erase(fault); }

    QString folder_;
    int keepDays_;
    SystemEvents* events_;
    QObject context_; // the UI thread's, for telling `events_` there

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<HistoryCycle> queue_;
    int droppedAt_ = 0;     // cycles dropped because the queue was full, not said yet
    int64_t droppedMs_ = 0; // the last of them
    bool busy_ = false;
    bool stopping_ = false;
    bool opening_ = false; // start() asked for the open before any cycle
    std::optional<HistoryDatabase::Outcome> lastOutcome_;
    std::optional<int> pageLimit_; // asked for, not handed to the database yet
    RecentUptime recent_;
    std::thread thread_;

    // The worker's own.
    std::unique_ptr<HistoryDatabase> database_;
    bool off_ = false; // refused for this run
    bool seeded_ = false;
    std::set<Fault> said_;
};
