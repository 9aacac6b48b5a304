// `pylvane --history` run as a process on 400 days of 35 targets, through --state-dir, timed from its start to its
// exit. Prints
//   bench: history_cli_ms value=<median> min= max=
// Before that, once: every statement the readers run (each form of --history, and the History window's read) is
// caught as SQLite runs it and its plan asked for; a plan that scans the checks, rather than finding a series'
// range by the table's key, fails the benchmark loudly. The plans go to standard error.
//
// The program is the first argument, or the one built beside this benchmark.
#include "HistoryBenchFolder.h"
#include "Spread.h"

#include "history/HistoryCommand.h"
#include "history/HistoryDigest.h"
#include "history/SqliteConnection.h"
#include "monitor/CycleReport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>

#include <sqlite3.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kGiveUpMs = 30'000;

std::set<std::string>& statementsRun()
{
    static std::set<std::string> statements;
    return statements;
}

int caught(unsigned, void*, void* statement, void*)
{
    if (const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement)))
        statementsRun().insert(sql);
    return 0;
}

// Set on every connection opened in this process from here on.
int traceConnection(sqlite3* db, const char**, const void*)
{
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, caught, nullptr);
    return SQLITE_OK;
}

// Reads the history in this process as --history in each form and the window do, catching the statements.
bool readEveryWay(const QString& folder)
{
    // SQLite calls the entry with its own arguments; the cast is the one its documentation gives.
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(traceConnection));
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    bool read = true;
    for (HistoryCommand::Form form :
         {HistoryCommand::Summary, HistoryCommand::Outages, HistoryCommand::Csv, HistoryCommand::Json}) {
        HistoryCommand::Options options;
        options.form = form;
        QString out;
        QString error;
        read = HistoryCommand::run(folder, options, out, error, now, QTimeZone::utc()) == 0 && read;
    }
    std::vector<HistoryDigest::Enabled> enabled;
    for (const TargetReport& target : CycleReport().targets)
        enabled.push_back({target.kind, target.number,
                           QString::fromStdString(
                               HistoryGenerator::currentText(kindName(target.kind).toStdString(), target.number))});
    const HistoryDigest::Result digest = HistoryDigest::read(folder, enabled, now, QTimeZone::utc());
    read = read && digest.opened == HistoryReader::Ok && digest.targets.size() == enabled.size();
    sqlite3_reset_auto_extension();
    return read;
}

// Each statement's plan to standard error; false when one scans the checks.
bool plansUseKeys(const QString& file, const std::set<std::string>& statements, std::string* why)
{
    SqliteConnection db;
    if (db.open(QFile::encodeName(file).toStdString(), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW) != SQLITE_OK) {
        *why = "cannot open the database to ask for plans";
        return false;
    }
    bool keyed = true;
    for (const std::string& sql : statements) {
        std::fprintf(stderr, "  %s\n", sql.c_str());
        SqliteStatement plan(db, "EXPLAIN QUERY PLAN " + sql);
        int rc = SQLITE_OK;
        while ((rc = plan.step()) == SQLITE_ROW) {
            const std::string detail = plan.text(3);
            std::fprintf(stderr, "    %s\n", detail.c_str());
            if (detail.find("SCAN checks") != std::string::npos) {
                keyed = false;
                *why = "a reader's statement scans the checks: " + sql;
            }
        }
        if (rc != SQLITE_DONE) {
            *why = "no plan for: " + sql + ": " + db.errorMessage();
            return false;
        }
    }
    if (statements.empty()) {
        *why = "no statement was caught";
        return false;
    }
    return keyed;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(PYLVANE_EXE);
    const HistoryBenchFolder folder;
    if (!folder.error().empty()) {
        std::printf("bench: history_cli_ms skipped: %s\n", folder.error().c_str());
        return 0;
    }
    std::string why;
    if (!readEveryWay(folder.path())) {
        std::printf("bench: history_cli_ms failed: the history could not be read in every form\n");
        return 1;
    }
    // The check itself first: a statement that must scan the checks is caught by it.
    std::string scan;
    std::fprintf(stderr, "  a statement that scans, which the check below must find:\n");
    if (plansUseKeys(folder.file(), {"SELECT count(*) FROM checks WHERE state = 'down'"}, &scan)) {
        std::printf("bench: history_cli_ms failed: the plans' check does not see a scan of the checks\n");
        return 1;
    }
    std::fprintf(stderr, "  the readers' statements, each with its plan:\n");
    if (!plansUseKeys(folder.file(), statementsRun(), &why)) {
        std::printf("bench: history_cli_ms failed: %s\n", why.c_str());
        return 1;
    }
    std::vector<double> ms;
    // One run before the timed ones, which brings the program and its libraries into the disk's cache.
    for (std::size_t run = 0; run <= Spread::kMinRuns; ++run) {
        QProcess process;
        process.setProgram(program);
        process.setArguments({QStringLiteral("--history"), QStringLiteral("--state-dir"), folder.path()});
        QElapsedTimer timer;
        timer.start();
        process.start();
        const bool ended = process.waitForFinished(kGiveUpMs);
        const double taken = double(timer.nsecsElapsed()) / 1e6;
        const QByteArray out = process.readAllStandardOutput();
        if (!ended || process.exitStatus() != QProcess::NormalExit) {
            std::printf("bench: history_cli_ms failed: %s: %s\n", qPrintable(program), qPrintable(process.errorString()));
            return 1;
        }
        if (process.exitCode() != 0) {
            std::printf("bench: history_cli_ms failed: %s ended with %d: %s\n", qPrintable(program),
                        process.exitCode(), process.readAllStandardError().constData());
            return 1;
        }
        if (out.count('\n') < HistoryGenerator::kTargets) {
            std::printf("bench: history_cli_ms failed: %lld lines for %d targets\n",
                        static_cast<long long>(out.count('\n')), HistoryGenerator::kTargets);
            return 1;
        }
        if (run == 0)
            std::fprintf(stderr, "  the first run: %.1f ms\n", taken);
        else
            ms.push_back(taken);
    }
    Spread::of(ms).print("history_cli_ms", 1);
    return 0;
}
