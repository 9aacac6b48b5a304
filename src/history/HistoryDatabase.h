#pragma once

#include "history/HistoryCycle.h"
#include "history/SqliteConnection.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// history.sqlite in the state folder, opened for writing by one thread: the writer's. Each cycle goes in by one
// transaction, committed durably (WAL, synchronous FULL), so that a run killed at any moment leaves every cycle it
// said was written and no part of one that was not. Readers (the History window, --history) read beside it.
class HistoryDatabase {
public:
    enum class Open {
        Ready,
        Refused, // a link, a folder or another user's file under one of the names: history off for this run
        Newer,   // written by a newer Pylvane: left alone, history off for this run
        Locked,  // another process held it over the busy timeout
        Failed,  // anything else, such as a full disk while making the layout; the next cycle tries again
    };
    enum class Outcome {
        Written,
        DiskFull, // the cycle's rows are lost, what was committed before stays; the next cycle tries again
        Locked,   // another connection held it over the busy timeout; the cycle is skipped
        Failed,
    };
    // One check of the last day, for the uptime kept in memory.
    struct RecentCheck {
        QString kind;
        int number = 0;
        QString text;
        int64_t endedMs = 0;
        bool up = false;
    };

    static constexpr int kBusyTimeoutMs = 1000;
    static constexpr int kDefaultKeepDays = 400;
    // At most this many old checks go per cycle, so that the first prune of a long-kept file does not hold one
    // cycle's transaction for long.
    static constexpr int kPruneStep = 5000;

    explicit HistoryDatabase(QString folder, int keepDays = kDefaultKeepDays);

    // Opens (creating the folder, private, and the file as needed). A damaged file is set aside first and a new one
    // begun: `setAside()` then names it. `problem()` says why it is not open.
    Open open();
    bool isOpen() const { return connection_.isOpen(); }
    void close();
    const QString& problem() const { return problem_; }
    // The name a damaged database was given by the last open, or empty.
    const QString& setAside() const { return setAside_; }
    QString path() const;

    Outcome writeCycle(const HistoryCycle& cycle);

    // The checks that knew (up or down) from `sinceMs` on, each series' in the order of their time.
    std::vector<RecentCheck> checksSince(int64_t sinceMs);
    // Hands back the page cache between cycles, a quarter of an hour apart: the idle program stays small.
    void releaseMemory();

    void setKeepDays(int days) { keepDays_ = days; }
    // The file fills at this many pages, as a full disk does (0: as large as SQLite allows). Tests use it: a real
    // full disk needs root to make.
    void setPageLimit(int pages);
    // The clock prunes are timed by and the day's stamp for a damaged file are taken from; tests set their own.
    void setClock(std::function<int64_t()> nowMs) { nowMs_ = std::move(nowMs); }

private:
    Open openOnce(bool* damaged);
    bool migrate(int from);
    bool prune(int* rc);
    int seriesId(const HistoryCycle::Check& check, int64_t* id);
    Outcome failed(int rc, const char* what);

    QString folder_;
    int keepDays_;
    int pageLimit_ = 0;
    SqliteConnection connection_;
    QString problem_;
    QString setAside_;
    std::function<int64_t()> nowMs_;
    QHash<QString, int64_t> series_; // "kind|number|text" to its id, as committed
    int64_t nextPruneMs_ = 0;        // a prune runs on the first cycle, then at most once a day
    bool pruning_ = false;           // one started and not finished
};
