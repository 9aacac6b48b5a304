#pragma once

#include <QString>
#include <QTimeZone>

#include <cstdint>

// `pylvane --history`: the history read from the state folder, with no display and while Pylvane runs. One line per
// target (its latest series): uptime over 24 h, 7 d, 30 d and 90 d with their counts, the number of outages and the
// last one; or the outages, the checks as CSV, or all of it as JSON.
class HistoryCommand {
public:
    enum Form { Summary, Outages, Csv, Json };
    struct Options {
        Form form = Summary;
        int days = 90; // how far back outages and checks go
        bool serviceForRoot = false; // root reads a service's history (see HistoryFileCheck)
    };
    // No history yet, or one that cannot be read: UNKNOWN, as monitoring plugins have it.
    static constexpr int kNoHistory = 3;

    // Writes what was asked to `out` and any trouble to `error`; the exit code.
    static int run(const QString& folder, const Options& options, QString& out, QString& error, int64_t nowMs,
                   const QTimeZone& zone);
};
