// One cycle of 35 targets written into a history that already holds 400 days, through the program's own writer
// with its durable commit (WAL, synchronous FULL). Prints
//   bench: history_cycle_write_ms value=<median> min= max=
// Each run opens the writer afresh and times its first cycle, the dearest one: the series are looked up in the
// file rather than in the writer's memory, and the day's prune runs. The cycles that follow a first one, as the
// program writes all day, go to standard error.
#include "HistoryBenchFolder.h"
#include "Spread.h"

#include "history/HistoryCycle.h"
#include "history/HistoryDatabase.h"
#include "monitor/CycleReport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <cstdio>
#include <vector>

namespace {

constexpr int64_t kIntervalMs = 17 * 60 * 1000;
// Cycles after the first one in each run.
constexpr int kFollowing = 4;

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
    std::vector<double> first;
    std::vector<double> following;
    for (std::size_t run = 0; run < Spread::kMinRuns; ++run) {
        HistoryDatabase database(folder.path());
        if (database.open() != HistoryDatabase::Open::Ready) {
            std::printf("bench: history_cycle_write_ms skipped: %s\n", qPrintable(database.problem()));
            return 0;
        }
        for (int cycle = 0; cycle <= kFollowing; ++cycle) {
            ended = ended.addMSecs(kIntervalMs);
            const HistoryCycle written = cycleEndedAt(ended);
            if (written.checks.size() != std::size_t(HistoryGenerator::kTargets)) {
                std::printf("bench: history_cycle_write_ms failed: %zu checks in a cycle\n", written.checks.size());
                return 1;
            }
            QElapsedTimer timer;
            timer.start();
            const HistoryDatabase::Outcome outcome = database.writeCycle(written);
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            if (outcome != HistoryDatabase::Outcome::Written) {
                std::printf("bench: history_cycle_write_ms failed: %s\n", qPrintable(database.problem()));
                return 1;
            }
            (cycle == 0 ? first : following).push_back(ms);
        }
    }
    Spread::of(first).print("history_cycle_write_ms", 2);
    std::fprintf(stderr, "  the cycles after a first one: %s ms\n", Spread::of(following).figures(2).c_str());
    return 0;
}
