// Inserting one entry into logs of 1, 10 and 100 MB, against copying the same file with cp on the
// same disk in the same run. Prints the figures as "bench: <name> ratio=<x>" lines at the end.
#include "eventlog/EventLog.h"
#include "platform/PosixPlatform.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

QTemporaryDir* workDir = nullptr;

QString logOfSize(int megabytes)
{
    const QString path = workDir->filePath(QStringLiteral("log-%1MB.txt").arg(megabytes));
    if (QFile::exists(path))
        return path;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("Pylvane Log File , Created 01.12.2026 09:00:00\r\n" + QByteArray(79, '=') + "\r\n");
    const QByteArray entry = "30.11.2026 23:59:59  - Cam1 OFF   \r\n\r\n";
    QByteArray block;
    while (block.size() < (1 << 20))
        block += entry;
    for (int i = 0; i < megabytes; ++i)
        file.write(block.left(1 << 20));
    return path;
}

void BM_LogInsert(benchmark::State& state)
{
    PosixPlatform platform;
    EventLog log(platform, logOfSize(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        if (!log.WriteLogEntry(HeaderStyle::HostHeader, QStringLiteral(" - Device1 OFF   ")))
            state.SkipWithError("insertion failed");
    }
}

void BM_CopyWithCp(benchmark::State& state)
{
    const QString source = logOfSize(static_cast<int>(state.range(0)));
    const QString target = source + QStringLiteral(".copy");
    for (auto _ : state) {
        if (QProcess::execute(QStringLiteral("cp"), {source, target}) != 0)
            state.SkipWithError("cp failed");
    }
}

// Both sides run on the same three sizes with the same repetitions, so their medians compare.
void sizesAndRepetitions(benchmark::internal::Benchmark* b)
{
    b->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
}

BENCHMARK(BM_LogInsert)->Apply(sizesAndRepetitions);
BENCHMARK(BM_CopyWithCp)->Apply(sizesAndRepetitions);

// Keeps the median real time of each benchmark for the summary lines.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    // No colour codes: run.sh picks the result lines out of piped output.
    MedianCollector() : ConsoleReporter(OO_Tabular) {}
    std::map<std::string, double> medianMs;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name == "median")
                medianMs[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/log-bench-XXXXXX"));
    workDir = &dir;
    benchmark::Initialize(&argc, argv);
    MedianCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& m = reporter.medianMs;
    const auto at = [&](const char* name) {
        const auto it = m.find(name);
        return it == m.end() ? 0.0 : it->second;
    };
    const double insert1 = at("BM_LogInsert/1"), insert100 = at("BM_LogInsert/100"), cp100 = at("BM_CopyWithCp/100");
    std::printf("bench: log_insert_1MB_ms value=%.2f\n", insert1);
    std::printf("bench: log_insert_10MB_ms value=%.2f\n", at("BM_LogInsert/10"));
    std::printf("bench: log_insert_100MB_ms value=%.2f\n", insert100);
    std::printf("bench: cp_100MB_ms value=%.2f\n", cp100);
    if (cp100 > 0)
        std::printf("bench: log_insert_100MB_vs_cp ratio=%.2f\n", insert100 / cp100);
    // Cost per megabyte at 100 MB against that at 1 MB: 1.0 or less is linear growth or better.
    if (insert1 > 0)
        std::printf("bench: log_insert_scaling_1MB_to_100MB ratio=%.2f\n", (insert100 / 100.0) / insert1);
    return 0;
}
