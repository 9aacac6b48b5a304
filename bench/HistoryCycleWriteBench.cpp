// One cycle of 35 targets written into a history that already holds 400 days, through the program's own writer
// with its durable commit (WAL, synchronous FULL). Prints
//   bench: history_cycle_write_ms value=<median> min= max=
// over the cycles of one run of the writer as the program keeps it open all day, the first one left out: enough of
// them that SQLite's checkpoints, which copy the -wal into the file every thousand pages or so, come at their own
// rate among them. The first cycle of a run, which also looks its series up in the file, creates the -wal, syncs
// its folder and prunes, goes to standard error, measured on writers opened afresh.
#include "HistoryBenchFolder.h"
#include "Spread.h"

#include "history/HistoryCycle.h"
#include "history/HistoryDatabase.h"
#include "monitor/CycleReport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kIntervalMs = 17 * 60 * 1000;
// Cycles of one run after its first: about four checkpoints' worth.
constexpr int kCycles = 48;

// All 35 enabled and up, at the texts the history was written with, as the recorder copies a cycle's report.
HistoryCycle cycleEndedAt(const QDateTime& ended)
{
    CycleReport report;
    report.ended = ended;
    report.durationMs = 60;
    report.startedBy = CycleReport::StartedBy::Schedule;
    for (TargetReport& target : report.targets) {
        target.text = QString::fromStdString(HistoryGenerator::currentText(kindName(target.kind).toStdString(),
                                                                           target.number));
        target.state = TargetReport::State::Up;
        if (target.kind != TargetKind::Process)
            target.rttMs = 1;
    }
    return HistoryCycle::from(report);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const HistoryBenchFolder folder;
    if (!folder.error().empty()) {
        std::printf("bench: history_cycle_write_ms skipped: %s\n", folder.error().c_str());
        return 0;
    }
    std::fprintf(stderr, "  history of %lld cycles, %lld checks\n", static_cast<long long>(folder.made().cycles),
                 static_cast<long long>(folder.made().checks));
    QDateTime ended = QDateTime::currentDateTimeUtc();
    std::string why;
    // Each cycle 17 minutes after the one before, all of them after the last one of the history.
    const auto timeOne = [&](HistoryDatabase& database) -> std::optional<double> {
        ended = ended.addMSecs(kIntervalMs);
        const HistoryCycle written = cycleEndedAt(ended);
        if (written.checks.size() != std::size_t(HistoryGenerator::kTargets)) {
            why = std::to_string(written.checks.size()) + " checks in a cycle";
            return std::nullopt;
        }
        QElapsedTimer timer;
        timer.start();
        const HistoryDatabase::Outcome outcome = database.writeCycle(written);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (outcome != HistoryDatabase::Outcome::Written) {
            why = database.problem().toStdString();
            return std::nullopt;
        }
        return ms;
    };
    const auto opened = [&](HistoryDatabase& database) {
        if (database.open() == HistoryDatabase::Open::Ready)
            return true;
        why = database.problem().toStdString();
        return false;
    };

    std::vector<double> cycles;
    {
        HistoryDatabase database(folder.path());
        if (!opened(database) || !timeOne(database)) {
            std::printf("bench: history_cycle_write_ms failed: %s\n", why.c_str());
            return 1;
        }
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            const std::optional<double> ms = timeOne(database);
            if (!ms) {
                std::printf("bench: history_cycle_write_ms failed: %s\n", why.c_str());
                return 1;
            }
            cycles.push_back(*ms);
        }
    }
    std::vector<double> first;
    for (std::size_t run = 0; run < Spread::kMinRuns; ++run) {
        HistoryDatabase database(folder.path());
        const std::optional<double> ms = opened(database) ? timeOne(database) : std::nullopt;
        if (!ms) {
            std::printf("bench: history_cycle_write_ms failed: %s\n", why.c_str());
            return 1;
        }
        first.push_back(*ms);
    }
    Spread::of(cycles).print("history_cycle_write_ms", 2);
    std::fprintf(stderr, "  the first cycle of a run: %s ms\n", Spread::of(first).figures(2).c_str());
    return 0;
}
