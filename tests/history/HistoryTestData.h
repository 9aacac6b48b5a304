#pragma once

#include "history/HistoryCycle.h"
#include "history/SqliteConnection.h"
#include "monitor/CycleReport.h"

#include <QDateTime>
#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <string>

// What the history's tests share: reports and cycles to write, and a look into a database by a connection of the
// test's own.
namespace HistoryTestData {

// Cams 1..`cams` ticked, each with its own address; Cam 2 down, the rest up with a round trip of 7 ms.
inline CycleReport report(qint64 endedMs, int cams = 3)
{
    CycleReport report;
    report.ended = QDateTime::fromMSecsSinceEpoch(endedMs);
    report.durationMs = 900;
    for (TargetReport& target : report.targets) {
        if (target.kind != TargetKind::Cam || target.number > cams)
            continue;
        target.text = QStringLiteral("192.168.1.%1").arg(20 + target.number);
        target.state = target.number == 2 ? TargetReport::State::Down : TargetReport::State::Up;
        if (target.state == TargetReport::State::Up)
            target.rttMs = 7;
    }
    return report;
}

inline HistoryCycle cycle(int64_t endedMs, int cams = 3)
{
    return HistoryCycle::from(report(endedMs, cams));
}

// The first column of the first row of `sql`, as text; "(none)" for no row, "(error N)" for a failure.
inline std::string scalar(const QString& path, const char* sql)
{
    SqliteConnection connection;
    if (const int rc = connection.open(path.toStdString(), SQLITE_OPEN_READWRITE); rc != SQLITE_OK)
        return "(error " + std::to_string(rc) + ")";
    SqliteStatement statement(connection, sql);
    const int rc = statement.step();
    if (rc == SQLITE_DONE)
        return "(none)";
    if (rc != SQLITE_ROW)
        return "(error " + std::to_string(rc) + ")";
    return statement.text(0);
}

} // namespace HistoryTestData
