#include "history/HistoryReader.h"

#include "monitor/CycleReport.h"

#include "history/HistoryFileCheck.h"
#include "history/HistorySchema.h"

#include <QDir>

#include <sqlite3.h>

#include <algorithm>

namespace {

// Pylvane writes a cycle in a few milliseconds; a read waits no longer than this for one to end.
constexpr int kBusyTimeoutMs = 1'000;

void setError(QString* error, const SqliteConnection& db)
{
    if (error != nullptr)
        *error = QString::fromStdString(db.errorMessage());
}

} // namespace

HistoryReader::HistoryReader(QString folder) : folder_(std::move(folder)) {}

HistoryReader::Opened HistoryReader::open(QString* why)
{
    const auto fail = [why](Opened opened, const QString& text) {
        if (why != nullptr)
            *why = text;
        return opened;
    };
    QString refused;
    switch (HistoryFileCheck::check(folder_, &refused, serviceForRoot_)) {
    case HistoryFileCheck::Missing:
        return fail(NoHistory, QStringLiteral("no history yet"));
    case HistoryFileCheck::Refused:
        return fail(Refused, refused);
    case HistoryFileCheck::Ok:
        break;
    }
    // The file was judged above; NOFOLLOW keeps SQLite's own open from following a link put in its place since.
    const QString path = QDir(folder_).filePath(QString::fromLatin1(HistorySchema::kFileName));
    // SQLite takes names in UTF-8 on every system, which is also how Qt 6 names files on Linux.
    const int rc = db_.open(QDir::toNativeSeparators(path).toUtf8().toStdString(),
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW);
    if (rc != SQLITE_OK)
        return fail(Failed, QStringLiteral("the history cannot be opened: %1").arg(QString::fromUtf8(sqlite3_errstr(rc))));
    sqlite3_busy_timeout(db_.handle(), kBusyTimeoutMs);
    SqliteStatement version(db_, "PRAGMA user_version");
    if (version.step() != SQLITE_ROW) {
        const QString text = QString::fromStdString(db_.errorMessage());
        db_.close();
        return fail(Failed, QStringLiteral("the history cannot be read: %1").arg(text));
    }
    const int64_t found = version.integer(0);
    if (found == 0 || found > HistorySchema::kVersion) {
        db_.close();
        return fail(Failed, found == 0 ? QStringLiteral("the history file is not one Pylvane wrote")
                                       : QStringLiteral("the history was written by a newer Pylvane"));
    }
    return Ok;
}

std::vector<HistorySeries> HistoryReader::series(QString* error) const
{
    std::vector<HistorySeries> found;
    SqliteStatement query(db_, "SELECT id, kind, number, log_name, text FROM series ORDER BY kind, number, id");
    int rc = SQLITE_OK;
    while ((rc = query.step()) == SQLITE_ROW)
        found.push_back({query.integer(0), QString::fromStdString(query.text(1)), int(query.integer(2)),
                         QString::fromStdString(query.text(3)), QString::fromStdString(query.text(4))});
    if (rc != SQLITE_DONE)
        setError(error, db_);
    return found;
}

std::vector<HistoryCheck> HistoryReader::checks(int64_t series, int64_t fromMs, int64_t toMs, QString* error) const
{
    std::vector<HistoryCheck> found;
    SqliteStatement query(db_, kChecksQuery);
    query.bind(1, series);
    query.bind(2, fromMs);
    query.bind(3, toMs);
    int rc = SQLITE_OK;
    while ((rc = query.step()) == SQLITE_ROW)
        found.push_back({query.integer(0), HistoryRules::stateOf(query.text(1)),
                         query.optionalInteger(2)});
    if (rc != SQLITE_DONE)
        setError(error, db_);
    return found;
}

QString HistoryReader::kindName(TargetKind kind)
{
    return ::kindName(kind); // the names the writer stores
}

std::vector<HistorySeries>
HistoryReader::current(const std::vector<HistorySeries>& all,
                       const std::function<std::optional<QString>(TargetKind, int)>& enabledText)
{
    std::vector<HistorySeries> shown;
    const struct {
        TargetKind kind;
        int count;
    } kinds[] = {{TargetKind::Device, kDeviceCount}, {TargetKind::Cam, kCamCount}, {TargetKind::Process, kProcessCount}};
    for (const auto& [kind, count] : kinds) {
        for (int number = 1; number <= count; ++number) {
            const std::optional<QString> text = enabledText(kind, number);
            if (!text)
                continue;
            const QString name = kindName(kind); // clang 14, which builds the fuzzers, cannot capture a binding
            const auto match = std::find_if(all.begin(), all.end(), [&](const HistorySeries& series) {
                return series.kind == name && series.number == number && series.text == *text;
            });
            if (match != all.end())
                shown.push_back(*match);
        }
    }
    return shown;
}
