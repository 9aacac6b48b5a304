#pragma once

#include "history/HistoryRules.h"
#include "history/SqliteConnection.h"
#include "monitor/Targets.h"

#include <QString>

#include <functional>
#include <vector>

// One target as it was named while it was checked.
struct HistorySeries {
    int64_t id = 0;
    QString kind; // 'device', 'camera', 'process'
    int number = 0;
    QString logName;
    QString text;
};

// The history as the window, the export and `--history` read it: opened read-only, never made, never written, and
// never through a link or another user's file. Pylvane may write it meanwhile: the file is in WAL mode, so a read
// sees the last whole cycle and holds up no write.
class HistoryReader {
public:
    enum Opened { Ok, NoHistory, Refused, Failed };

    // The checks of one series in a range of time, by the table's key alone.
    static constexpr const char* kChecksQuery =
        "SELECT ended_ms, state, rtt_ms FROM checks WHERE series = ?1 AND ended_ms >= ?2 AND ended_ms <= ?3 "
        "ORDER BY ended_ms";

    // `folder` holds history.sqlite (StatusFile::defaultFolder() for a run).
    explicit HistoryReader(QString folder);
    // Root may read the history of a service that runs as another user (see HistoryFileCheck).
    void setServiceForRoot(bool on) { serviceForRoot_ = on; }

    // `why` says what failed or was refused.
    Opened open(QString* why = nullptr);

    // Every series, by kind and number.
    std::vector<HistorySeries> series(QString* error = nullptr) const;
    // The checks of `series` from `fromMs` to `toMs` (UTC), sorted by time.
    std::vector<HistoryCheck> checks(int64_t series, int64_t fromMs, int64_t toMs, QString* error = nullptr) const;

    // "device", "camera", "process", as the history names a kind.
    static QString kindName(TargetKind kind);
    // The series of what is checked now: the enabled targets, each with its current text. `enabledText` gives a
    // target's text, or nothing when it is not enabled.
    static std::vector<HistorySeries> current(const std::vector<HistorySeries>& all,
                                              const std::function<std::optional<QString>(TargetKind, int)>& enabledText);

    const SqliteConnection& connection() const { return db_; }

private:
    QString folder_;
    bool serviceForRoot_ = false;
    SqliteConnection db_;
};
