#pragma once

#include "history/HistorySchema.h"
#include "history/SqliteConnection.h"

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

// A history.sqlite filled by plain SQL, as the writer would leave it: for tests of what reads it.
class HistoryRows {
public:
    // Makes the file at `path` in the current layout, in WAL mode.
    explicit HistoryRows(const std::string& path)
    {
        ok_ = db_.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW) == SQLITE_OK &&
              db_.exec("PRAGMA journal_mode=WAL") == SQLITE_OK && db_.exec("BEGIN") == SQLITE_OK &&
              db_.exec(HistorySchema::kCreateV1) == SQLITE_OK &&
              db_.exec("PRAGMA user_version=" + std::to_string(HistorySchema::kVersion)) == SQLITE_OK &&
              db_.exec("COMMIT") == SQLITE_OK;
    }
    bool ok() const { return ok_; }
    SqliteConnection& connection() { return db_; }

    // The new series' id.
    int64_t series(const std::string& kind, int number, const std::string& logName, const std::string& text)
    {
        SqliteStatement insert(db_, "INSERT INTO series (kind, number, log_name, text) VALUES (?1, ?2, ?3, ?4)");
        insert.bind(1, kind);
        insert.bind(2, int64_t(number));
        insert.bind(3, logName);
        insert.bind(4, text);
        ok_ = ok_ && insert.step() == SQLITE_DONE;
        return sqlite3_last_insert_rowid(db_.handle());
    }

    // One check of `series`, in a cycle of its own that ended at `endedMs`.
    void check(int64_t series, int64_t endedMs, const std::string& state, std::optional<int64_t> rttMs = {})
    {
        SqliteStatement cycle(db_, "INSERT INTO cycles (ended_ms, duration_ms, started_by) VALUES (?1, 900, ?2)");
        cycle.bind(1, endedMs);
        cycle.bind(2, std::string_view(HistorySchema::kStartedBySchedule));
        ok_ = ok_ && cycle.step() == SQLITE_DONE;
        SqliteStatement insert(db_, "INSERT INTO checks (series, ended_ms, cycle, state, rtt_ms) "
                                    "VALUES (?1, ?2, ?3, ?4, ?5)");
        insert.bind(1, series);
        insert.bind(2, endedMs);
        insert.bind(3, int64_t(sqlite3_last_insert_rowid(db_.handle())));
        insert.bind(4, state);
        if (rttMs)
            insert.bind(5, *rttMs);
        else
            insert.bindNull(5);
        ok_ = ok_ && insert.step() == SQLITE_DONE;
    }

    // Many checks in one transaction: `count` of them every `stepMs` from `fromMs`, the state from `stateAt(i)`.
    template <typename StateAt>
    void checks(int64_t series, int64_t fromMs, int64_t stepMs, int count, StateAt stateAt)
    {
        ok_ = ok_ && db_.exec("BEGIN") == SQLITE_OK;
        for (int i = 0; i < count; ++i)
            check(series, fromMs + i * stepMs, stateAt(i));
        ok_ = ok_ && db_.exec("COMMIT") == SQLITE_OK;
    }

private:
    SqliteConnection db_;
    bool ok_ = false;
};
