#include "history/HistoryDatabase.h"

#include "history/HistoryFiles.h"
#include "history/HistorySchema.h"

#include <QDateTime>
#include <QTimeZone>
#include <QFileInfo>

#include <sqlite3.h>

#include <array>
#include <chrono>

namespace {

constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;
// Small: the idle program's memory matters more than a read of the window's strips, which come from the disk cache.
constexpr const char* kCacheSize = "PRAGMA cache_size = -128"; // KiB

// Each step takes the layout from its place's version to the next; only version 1 exists.
constexpr std::array<const char*, HistorySchema::kVersion> kSteps{HistorySchema::kCreateV1};

int primary(int rc)
{
    return rc & 0xff;
}

bool isDamage(int rc)
{
    return primary(rc) == SQLITE_NOTADB || primary(rc) == SQLITE_CORRUPT;
}

int64_t monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One pragma that answers with a row; its first column's text, or nothing with `rc` set.
std::optional<QString> pragmaText(const SqliteConnection& connection, const char* sql, int* rc)
{
    SqliteStatement statement(connection, sql);
    *rc = statement.step();
    if (*rc != SQLITE_ROW)
        return std::nullopt;
    const QString text = QString::fromStdString(statement.text(0));
    *rc = SQLITE_OK;
    return text;
}

} // namespace

HistoryDatabase::HistoryDatabase(QString folder, int keepDays)
    : folder_(std::move(folder)), keepDays_(keepDays), nowMs_([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

QString HistoryDatabase::path() const
{
    return folder_ + QLatin1Char('/') + QString::fromLatin1(HistorySchema::kFileName);
}

void HistoryDatabase::close()
{
    connection_.close();
    series_.clear();
}

HistoryDatabase::Open HistoryDatabase::open()
{
    close();
    problem_.clear();
    setAside_.clear();
    bool damaged = false;
    Open result = openOnce(&damaged);
    if (!damaged)
        return result;
    close();
    // Kept, not removed: what it still holds may be read back by hand. Named by the time, never over another.
    const QString prefix =
        folder_ + QLatin1Char('/') + QString::fromLatin1(HistorySchema::kFileName) + QStringLiteral(".damaged-");
    const QString day = QDateTime::fromMSecsSinceEpoch(nowMs_(), Qt::UTC).toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString stamp = day;
    for (int n = 2; QFileInfo::exists(prefix + stamp) || QFileInfo(prefix + stamp).isSymLink(); ++n)
        stamp = day + QLatin1Char('-') + QString::number(n);
    if (!HistoryFiles::setAside(folder_, stamp)) {
        problem_ = QStringLiteral("history.sqlite is damaged and could not be set aside");
        return Open::Failed;
    }
    setAside_ = QString::fromLatin1(HistorySchema::kFileName) + QStringLiteral(".damaged-") + stamp;
    result = openOnce(&damaged);
    if (damaged) {
        close();
        problem_ = QStringLiteral("a new history.sqlite is damaged at once");
        return Open::Failed;
    }
    return result;
}

HistoryDatabase::Open HistoryDatabase::openOnce(bool* damaged)
{
    *damaged = false;
    const QString refused = HistoryFiles::prepare(folder_);
    if (!refused.isEmpty()) {
        problem_ = refused;
        return Open::Refused;
    }
    // NOFOLLOW: a link put in the file's place after the look above is refused by SQLite itself.
    int rc = connection_.open(path().toUtf8().toStdString(),
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) {
        if (rc == SQLITE_CANTOPEN_SYMLINK) {
            problem_ = QStringLiteral("history.sqlite is a link");
            return Open::Refused;
        }
        problem_ = QStringLiteral("history.sqlite could not be opened: %1").arg(QString::fromUtf8(sqlite3_errstr(rc)));
        return Open::Failed;
    }
    sqlite3_busy_timeout(connection_.handle(), kBusyTimeoutMs);
    const auto fail = [this](int code, const char* what) {
        problem_ = QStringLiteral("history.sqlite %1: %2")
                       .arg(QLatin1String(what), QString::fromStdString(connection_.errorMessage()));
        close();
        return primary(code) == SQLITE_BUSY ? Open::Locked : Open::Failed;
    };
    const std::optional<QString> check = pragmaText(connection_, "PRAGMA quick_check", &rc);
    if (isDamage(rc) || (check && *check != QLatin1String("ok"))) {
        *damaged = true;
        return Open::Failed;
    }
    if (!check)
        return fail(rc, "could not be checked");
    const std::optional<QString> version = pragmaText(connection_, "PRAGMA user_version", &rc);
    if (!version)
        return isDamage(rc) ? (*damaged = true, Open::Failed) : fail(rc, "could not be read");
    const int from = version->toInt();
    if (from > HistorySchema::kVersion) {
        problem_ = QStringLiteral("history.sqlite was written by a newer Pylvane (layout %1; this one knows %2) and "
                                  "is left as it is")
                       .arg(from)
                       .arg(HistorySchema::kVersion);
        close();
        return Open::Newer;
    }
    // Only a file of a layout this program knows is changed in any way, journal mode included.
    const std::optional<QString> mode = pragmaText(connection_, "PRAGMA journal_mode = WAL", &rc);
    if (!mode || *mode != QLatin1String("wal"))
        return fail(rc, "could not be put in WAL mode");
    // Each cycle's commit reaches the disk before the next: a power cut loses at most the cycle being written.
    if ((rc = connection_.exec("PRAGMA synchronous = FULL")) != SQLITE_OK ||
        (rc = connection_.exec(kCacheSize)) != SQLITE_OK)
        return fail(rc, "could not be set up");
    if (from < HistorySchema::kVersion && !migrate(from)) {
        const int code = sqlite3_errcode(connection_.handle());
        return fail(code, "could not be given its layout");
    }
    if (pageLimit_ > 0)
        setPageLimit(pageLimit_);
    return Open::Ready;
}

bool HistoryDatabase::migrate(int from)
{
    if (connection_.exec("BEGIN IMMEDIATE") != SQLITE_OK)
        return false;
    bool done = true;
    for (int version = std::max(from, 0); done && version < HistorySchema::kVersion; ++version)
        done = connection_.exec(kSteps[size_t(version)]) == SQLITE_OK;
    done = done && connection_.exec("PRAGMA user_version = " + std::to_string(HistorySchema::kVersion)) == SQLITE_OK;
    done = done && connection_.exec("COMMIT") == SQLITE_OK;
    if (!done && sqlite3_get_autocommit(connection_.handle()) == 0)
        connection_.exec("ROLLBACK");
    return done;
}

void HistoryDatabase::setPageLimit(int pages)
{
    pageLimit_ = pages;
    // SQLite's own largest count stands for "no limit": it keeps the larger of the file's size and the count asked.
    if (isOpen())
        connection_.exec("PRAGMA max_page_count = " + std::to_string(pages > 0 ? pages : 0xfffffffe));
}

HistoryDatabase::Outcome HistoryDatabase::failed(int rc, const char* what)
{
    problem_ = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(sqlite3_errstr(rc)));
    if (sqlite3_get_autocommit(connection_.handle()) == 0)
        connection_.exec("ROLLBACK");
    switch (primary(rc)) {
    case SQLITE_FULL:
        return Outcome::DiskFull;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Outcome::Locked;
    default:
        return Outcome::Failed;
    }
}

int HistoryDatabase::seriesId(const HistoryCycle::Check& check, int64_t* id)
{
    SqliteStatement insert(connection_, "INSERT INTO series (kind, number, log_name, text) VALUES (?1, ?2, ?3, ?4) "
                                        "ON CONFLICT (kind, number, text) DO NOTHING");
    const QByteArray kind = check.kind.toUtf8();
    const QByteArray text = check.text.toUtf8();
    insert.bind(1, std::string_view(kind.constData(), size_t(kind.size())));
    insert.bind(2, int64_t(check.number));
    const QByteArray logName = check.logName.toUtf8();
    insert.bind(3, std::string_view(logName.constData(), size_t(logName.size())));
    insert.bind(4, std::string_view(text.constData(), size_t(text.size())));
    int rc = insert.step();
    if (rc != SQLITE_DONE)
        return rc;
    SqliteStatement select(connection_, "SELECT id FROM series WHERE kind = ?1 AND number = ?2 AND text = ?3");
    select.bind(1, std::string_view(kind.constData(), size_t(kind.size())));
    select.bind(2, int64_t(check.number));
    select.bind(3, std::string_view(text.constData(), size_t(text.size())));
    rc = select.step();
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE ? SQLITE_INTERNAL : rc;
    *id = select.integer(0);
    return SQLITE_OK;
}

HistoryDatabase::Outcome HistoryDatabase::writeCycle(const HistoryCycle& cycle)
{
    if (!isOpen()) {
        problem_ = QStringLiteral("history.sqlite is not open");
        return Outcome::Failed;
    }
    // The write lock at once, waiting at most the busy timeout: a reader never holds it up (WAL).
    int rc = connection_.exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return failed(rc, "the cycle could not begin");
    {
        SqliteStatement insert(connection_,
                               "INSERT INTO cycles (ended_ms, duration_ms, started_by) VALUES (?1, ?2, ?3)");
        insert.bind(1, cycle.endedMs);
        insert.bind(2, cycle.durationMs);
        const QByteArray startedBy = cycle.startedBy.toUtf8();
        insert.bind(3, std::string_view(startedBy.constData(), size_t(startedBy.size())));
        if ((rc = insert.step()) != SQLITE_DONE)
            return failed(rc, "the cycle could not be written");
    }
    const int64_t cycleId = sqlite3_last_insert_rowid(connection_.handle());
    QHash<QString, int64_t> added; // series new to this transaction, cached once it commits
    SqliteStatement insert(connection_,
                           "INSERT INTO checks (series, ended_ms, cycle, state, rtt_ms) VALUES (?1, ?2, ?3, ?4, ?5)");
    for (const HistoryCycle::Check& check : cycle.checks) {
        const QString key =
            check.kind + QLatin1Char('|') + QString::number(check.number) + QLatin1Char('|') + check.text;
        int64_t series = series_.value(key, added.value(key, 0));
        if (series == 0) {
            if ((rc = seriesId(check, &series)) != SQLITE_OK)
                return failed(rc, "a series could not be written");
            added.insert(key, series);
        }
        insert.reset();
        insert.bind(1, series);
        insert.bind(2, cycle.endedMs);
        insert.bind(3, cycleId);
        const QByteArray state = check.state.toUtf8();
        insert.bind(4, std::string_view(state.constData(), size_t(state.size())));
        if (check.rttMs)
            insert.bind(5, int64_t(*check.rttMs));
        else
            insert.bindNull(5);
        if ((rc = insert.step()) != SQLITE_DONE)
            return failed(rc, "a check could not be written");
    }
    if (!prune(&rc))
        return failed(rc, "old checks could not be removed");
    if ((rc = connection_.exec("COMMIT")) != SQLITE_OK)
        return failed(rc, "the cycle could not be committed");
    series_.insert(added);
    problem_.clear();
    return Outcome::Written;
}

bool HistoryDatabase::prune(int* rc)
{
    const int64_t now = monotonicMs();
    if (!pruning_ && nextPruneMs_ != 0 && now < nextPruneMs_)
        return true;
    if (!pruning_) {
        pruning_ = true;
        nextPruneMs_ = now + kDayMs;
    }
    const int64_t cutoff = nowMs_() - int64_t(keepDays_) * kDayMs;
    std::vector<int64_t> ids;
    {
        SqliteStatement all(connection_, "SELECT id FROM series");
        while ((*rc = all.step()) == SQLITE_ROW)
            ids.push_back(all.integer(0));
        if (*rc != SQLITE_DONE)
            return false;
    }
    // By each series' key, which orders its checks by time: no scan of the whole table.
    SqliteStatement remove(connection_, "DELETE FROM checks WHERE series = ?1 AND ended_ms IN (SELECT ended_ms FROM "
                                        "checks WHERE series = ?1 AND ended_ms < ?2 ORDER BY ended_ms LIMIT ?3)");
    int budget = kPruneStep;
    for (int64_t id : ids) {
        remove.reset();
        remove.bind(1, id);
        remove.bind(2, cutoff);
        remove.bind(3, int64_t(budget));
        if ((*rc = remove.step()) != SQLITE_DONE)
            return false;
        budget -= sqlite3_changes(connection_.handle());
        if (budget <= 0)
            return true; // the next cycle goes on
    }
    // The cycles last, once no check of theirs is left.
    SqliteStatement cycles(connection_,
                           "DELETE FROM cycles WHERE id IN (SELECT id FROM cycles WHERE ended_ms < ?1 LIMIT ?2)");
    cycles.bind(1, cutoff);
    cycles.bind(2, int64_t(budget));
    if ((*rc = cycles.step()) != SQLITE_DONE)
        return false;
    if (sqlite3_changes(connection_.handle()) < budget)
        pruning_ = false;
    return true;
}

void HistoryDatabase::releaseMemory()
{
    if (isOpen())
        sqlite3_db_release_memory(connection_.handle());
}

std::vector<HistoryDatabase::RecentCheck> HistoryDatabase::checksSince(int64_t sinceMs)
{
    std::vector<RecentCheck> found;
    // CROSS JOIN keeps the series outside, so that each series' checks are found by their key.
    SqliteStatement select(connection_, "SELECT s.kind, s.number, s.text, c.ended_ms, c.state FROM series s CROSS JOIN "
                                        "checks c ON c.series = s.id WHERE c.ended_ms >= ?1 AND c.state IN ('up', "
                                        "'down') ORDER BY s.id, c.ended_ms");
    select.bind(1, sinceMs);
    while (select.step() == SQLITE_ROW)
        found.push_back({QString::fromStdString(select.text(0)), int(select.integer(1)),
                         QString::fromStdString(select.text(2)), select.integer(3),
                         select.text(4) == HistorySchema::kUp});
    return found;
}
