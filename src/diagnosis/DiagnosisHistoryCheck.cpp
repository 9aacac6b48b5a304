#include "diagnosis/DiagnosisChecks.h"

#include "diagnosis/PrivateNames.h"
#include "diagnosis/WithinLimit.h"
#include "history/HistoryFiles.h"
#include "history/HistorySchema.h"
#include "history/SqliteConnection.h"
#include "outcome/StatusFile.h"
#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

using Verdict = CheckResult::Verdict;

namespace {

constexpr int kFileLimitMs = 1'000;

struct Found {
    QString refused; // what stands under one of the names, as the writer would refuse it
    bool exists = false;
    qint64 bytes = 0; // the file and its write-ahead log
    QString oldest;   // the first day kept, "2026-01-03"; empty for none
    int version = 0;
    QString unreadable;   // why it could not be read
    QStringList setAside; // damaged files set aside
};

// One read-only look at one statement's first value; never a write, a journal or a lock that holds up the writer.
std::optional<QString> readOne(const QString& path, const char* sql, QString* why)
{
    // Read-only, and through no link. Where a writer keeps its log and index beside the file, it is read as any
    // reader reads it, which leaves only its read mark in the index. Where there are none, SQLite would make them even
    // for a read: the file is then read as it stands alone (immutable), making nothing. So is a file whose log needs
    // a write to be read, left by a run that was killed.
    const bool shared =
        QFileInfo::exists(path + QStringLiteral("-wal")) && QFileInfo::exists(path + QStringLiteral("-shm"));
    for (int attempt = shared ? 0 : 1; attempt < 2; ++attempt) {
        const bool immutable = attempt == 1;
        QUrl uri = QUrl::fromLocalFile(path);
        uri.setScheme(QStringLiteral("file"));
        uri.setQuery(immutable ? QStringLiteral("mode=ro&immutable=1") : QStringLiteral("mode=ro"));
        SqliteConnection connection;
        int rc = connection.open(uri.toString(QUrl::FullyEncoded).toStdString(),
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW);
        if (rc == SQLITE_OK) {
            SqliteStatement statement(connection, sql);
            rc = statement.step();
            if (rc == SQLITE_ROW)
                return QString::fromStdString(statement.text(0));
            if (rc == SQLITE_DONE)
                return QString();
        }
        *why = QString::fromUtf8(sqlite3_errstr(rc));
        if ((rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT)
            break;
    }
    return std::nullopt;
}

Found look(const QString& folder)
{
    Found found;
    found.refused = HistoryFiles::judge(folder);
    found.setAside = HistoryFiles::setAsideFiles(folder);
    const QString path = folder + QLatin1Char('/') + QString::fromLatin1(HistorySchema::kFileName);
    const QFileInfo file(path);
    found.exists = file.exists() || file.isSymLink();
    if (!found.refused.isEmpty() || !found.exists)
        return found;
    found.bytes = file.size() + QFileInfo(path + QStringLiteral("-wal")).size();
    QString why;
    const std::optional<QString> version = readOne(path, "PRAGMA user_version", &why);
    if (!version) {
        found.unreadable = why;
        return found;
    }
    found.version = version->toInt();
    if (found.version != HistorySchema::kVersion)
        return found;
    const std::optional<QString> oldest = readOne(path, "SELECT min(ended_ms) FROM cycles", &why);
    if (!oldest)
        found.unreadable = why;
    else if (!oldest->isEmpty())
        found.oldest = QDateTime::fromMSecsSinceEpoch(oldest->toLongLong()).toString(QStringLiteral("yyyy-MM-dd"));
    return found;
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 kB").arg((bytes + 1023) / 1024);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

} // namespace

// Only looked at and read, never written and nothing made beside it: a Pylvane that runs keeps writing it meanwhile
// (WAL lets both be).
CheckResult DiagnosisChecks::history()
{
    CheckResult check = named("history", "History");
    const QString folder = StatusFile::defaultFolder();
    const QString place = PrivateNames::here().folder(folder);
    const int days = SettingsStore().historyDays();
    check.values = {{QStringLiteral("folder"), place}, {QStringLiteral("days_kept"), days}};
    // A state folder on a disk that hangs may hold a file call for minutes; the answer is waited for a bounded time.
    const std::optional<Found> found = withinLimit<Found>([folder] { return look(folder); }, kFileLimitMs);
    if (!found) {
        check.set(Verdict::Warn, QStringLiteral("the state folder did not answer within %1 s").arg(kFileLimitMs / 1000),
                  QStringLiteral("Check that the disk it lies on answers."));
        return check;
    }
    check.values.insert(QStringLiteral("exists"), found->exists);
    check.values.insert(QStringLiteral("size_bytes"), double(found->bytes));
    check.values.insert(QStringLiteral("oldest_day"), found->oldest);
    check.values.insert(QStringLiteral("set_aside"), int(found->setAside.size()));
    const QString where = QStringLiteral("history.sqlite in ") + place;
    if (!found->refused.isEmpty()) {
        check.set(Verdict::Fail,
                  where + QStringLiteral(": ") + found->refused + QStringLiteral(", so no history is kept"),
                  removeRemedy(folder + QLatin1Char('/') + QString::fromLatin1(HistorySchema::kFileName),
                               QStringLiteral("Remove what stands there; Pylvane makes its own private files.")));
    } else if (!found->exists) {
        check.set(Verdict::Info, where + QStringLiteral(": no history yet; %1 days are kept").arg(days));
    } else if (!found->unreadable.isEmpty()) {
        check.set(Verdict::Warn,
                  where + QStringLiteral(", %1: cannot be read (%2)").arg(sizeText(found->bytes), found->unreadable),
                  QStringLiteral("Start Pylvane: a damaged file is set aside and a new one begun."));
    } else if (found->version > HistorySchema::kVersion) {
        check.set(Verdict::Fail,
                  where + QStringLiteral(", %1: written by a newer Pylvane, so this one keeps no history")
                              .arg(sizeText(found->bytes)),
                  QStringLiteral("Run the newer Pylvane, or move the file away to begin a new one."));
    } else {
        check.summary = where + QStringLiteral(", %1, ").arg(sizeText(found->bytes)) +
                        (found->oldest.isEmpty() ? QStringLiteral("no check kept yet")
                                                 : QStringLiteral("kept from %1").arg(found->oldest)) +
                        QStringLiteral("; %1 days are kept").arg(days);
    }
    if (!found->setAside.isEmpty())
        check.worsen(Verdict::Warn,
                     QStringLiteral("%1 damaged file(s) set aside: %2")
                         .arg(found->setAside.size())
                         .arg(fewOf(found->setAside, 3)),
                     QStringLiteral("Look into them if the checks they hold matter, then remove them."));
    return check;
}
