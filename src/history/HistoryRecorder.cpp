#include "history/HistoryRecorder.h"

#include "history/IdlePages.h"

#include "history/HistorySchema.h"
#include "monitor/CycleReport.h"
#include "systemlog/SystemEvents.h"

#include <QMetaObject>

#include <chrono>

namespace {

QString cycleTime(int64_t endedMs)
{
    return QDateTime::fromMSecsSinceEpoch(endedMs).toString(Qt::ISODate);
}

} // namespace

HistoryRecorder::HistoryRecorder(QString folder, int keepDays, SystemEvents* events)
    : folder_(std::move(folder)), keepDays_(keepDays), events_(events)
{
}

HistoryRecorder::~HistoryRecorder()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void HistoryRecorder::start()
{
    const std::lock_guard lock(mutex_);
    opening_ = true;
    // Made when first needed: a run with no cycle yet holds no thread and no connection.
    if (!thread_.joinable())
        thread_ = std::thread([this] { work(); });
    wake_.notify_all();
}

void HistoryRecorder::record(const CycleReport& report)
{
    HistoryCycle cycle = HistoryCycle::from(report);
    {
        const std::lock_guard lock(mutex_);
        for (const HistoryCycle::Check& check : cycle.checks) {
            const bool up = check.state == QLatin1String(HistorySchema::kUp);
            if (up || check.state == QLatin1String(HistorySchema::kDown))
                recent_.add(check.kind, check.number, check.text, cycle.endedMs, up);
        }
        // A worker held up by a slow disk loses the oldest waiting cycle rather than holding up the next ones.
        if (queue_.size() >= kQueueLimit) {
            droppedMs_ = queue_.front().endedMs;
            ++droppedAt_;
            queue_.pop_front();
        }
        queue_.push_back(std::move(cycle));
        if (!thread_.joinable())
            thread_ = std::thread([this] { work(); });
    }
    wake_.notify_all();
}

std::optional<double> HistoryRecorder::uptime24h(const TargetReport& target, const QDateTime& at)
{
    const std::lock_guard lock(mutex_);
    return recent_.ratio(kindName(target.kind), target.number, target.text, at.toMSecsSinceEpoch());
}

bool HistoryRecorder::waitIdle(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return queue_.empty() && !busy_ && !opening_; });
}

void HistoryRecorder::setPageLimit(int pages)
{
    const std::lock_guard lock(mutex_);
    pageLimit_ = pages;
}

std::optional<HistoryDatabase::Outcome> HistoryRecorder::lastOutcome() const
{
    const std::lock_guard lock(mutex_);
    return lastOutcome_;
}

void HistoryRecorder::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || opening_ || !queue_.empty(); });
        if (queue_.empty() && stopping_)
            break; // nothing left to write; an open not yet made is not needed any more
        const bool cycleWaits = !queue_.empty();
        HistoryCycle cycle;
        if (cycleWaits) {
            cycle = std::move(queue_.front());
            queue_.pop_front();
        }
        const std::optional<int> pageLimit = std::exchange(pageLimit_, std::nullopt);
        const int dropped = std::exchange(droppedAt_, 0);
        const int64_t droppedMs = droppedMs_;
        busy_ = true;
        lock.unlock();
        if (dropped > 0)
            say(Fault::FellBehind, QStringLiteral("the history fell behind the cycles: %1 cycle(s), the last of %2, "
                                                  "are not in it")
                                       .arg(dropped)
                                       .arg(cycleTime(droppedMs)));
        if (pageLimit) {
            if (!database_)
                database_ = std::make_unique<HistoryDatabase>(folder_, keepDays_);
            database_->setPageLimit(*pageLimit);
        }
        if (cycleWaits)
            write(cycle);
        else
            ensureOpen();
        IdlePages::release();
        lock.lock();
        busy_ = false;
        if (!cycleWaits)
            opening_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
    lock.unlock();
    database_.reset();
    idle_.notify_all();
}

bool HistoryRecorder::ensureOpen()
{
    if (off_)
        return false;
    if (database_ && database_->isOpen())
        return true;
    if (!database_)
        database_ = std::make_unique<HistoryDatabase>(folder_, keepDays_);
    const HistoryDatabase::Open open = database_->open();
    if (!database_->setAside().isEmpty())
        say(Fault::Damaged, QStringLiteral("%1 was damaged and is kept as %2; a new one is begun")
                                .arg(database_->path(), database_->setAside()));
    switch (open) {
    case HistoryDatabase::Open::Ready:
        break;
    case HistoryDatabase::Open::Refused:
    case HistoryDatabase::Open::Newer:
        off_ = true;
        say(Fault::Refused,
            QStringLiteral("%1: %2; no history is kept in this run").arg(folder_, database_->problem()));
        return false;
    case HistoryDatabase::Open::Locked:
        say(Fault::Locked, QStringLiteral("%1 was held by another program for over %2 s; the next cycle tries again")
                               .arg(database_->path())
                               .arg(HistoryDatabase::kBusyTimeoutMs / 1000));
        return false;
    case HistoryDatabase::Open::Failed:
        say(Fault::Failed, QStringLiteral("%1 could not be opened: %2").arg(database_->path(), database_->problem()));
        return false;
    }
    if (!seeded_) {
        // Only rows of runs before this one: this run's cycles go in after this read.
        const int64_t now = QDateTime::currentMSecsSinceEpoch();
        const std::vector<HistoryDatabase::RecentCheck> recent = database_->checksSince(now - RecentUptime::kSpanMs);
        database_->releaseMemory();
        seeded_ = true;
        const std::lock_guard lock(mutex_);
        for (const HistoryDatabase::RecentCheck& check : recent)
            recent_.add(check.kind, check.number, check.text, check.endedMs, check.up);
    }
    return true;
}

void HistoryRecorder::write(const HistoryCycle& cycle)
{
    if (!ensureOpen()) {
        const std::lock_guard lock(mutex_);
        lastOutcome_ = HistoryDatabase::Outcome::Failed;
        return;
    }
    const HistoryDatabase::Outcome outcome = database_->writeCycle(cycle);
    database_->releaseMemory();
    {
        const std::lock_guard lock(mutex_);
        lastOutcome_ = outcome;
    }
    const QString when = cycleTime(cycle.endedMs);
    switch (outcome) {
    case HistoryDatabase::Outcome::Written:
        clear(Fault::DiskFull);
        clear(Fault::Locked);
        clear(Fault::Failed);
        clear(Fault::FellBehind);
        return;
    case HistoryDatabase::Outcome::DiskFull:
        say(Fault::DiskFull, QStringLiteral("the disk is full: the cycle of %1 is not in %2, what it held before is "
                                            "kept, and the next cycle tries again")
                                 .arg(when, database_->path()));
        return;
    case HistoryDatabase::Outcome::Locked:
        say(Fault::Locked, QStringLiteral("%1 was held by another program for over %2 s: the cycle of %3 is not in it")
                               .arg(database_->path())
                               .arg(HistoryDatabase::kBusyTimeoutMs / 1000)
                               .arg(when));
        return;
    case HistoryDatabase::Outcome::Failed:
        say(Fault::Failed, QStringLiteral("the cycle of %1 could not go into %2: %3")
                               .arg(when, database_->path(), database_->problem()));
        // Opened again for the next cycle, which checks the file first: a damaged one is then set aside.
        database_->close();
        return;
    }
}

void HistoryRecorder::say(Fault fault, const QString& text)
{
    if (fault != Fault::Damaged && !said_.insert(fault).second)
        return;
    if (events_ == nullptr)
        return;
    SystemEvents* events = events_;
    QMetaObject::invokeMethod(
        &context_, [events, text] { events->historyProblem(text); }, Qt::QueuedConnection);
}
