// Inserting one entry into logs of 1, 10 and 100 MB, against copying the same file with cp on the
// same disk in the same run. Prints "bench: <name> value=<median> min= max=" lines at the end (ratio= for
// a ratio, taken repetition by repetition, then its median).
#include "SampleCollector.h"
#include "Spread.h"
#include "eventlog/EventLog.h"
#include "platform/PosixPlatform.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

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

// Both sides run on the same three sizes with the same repetitions, so that repetition i of one pairs with
// repetition i of the other.
void sizesAndRepetitions(benchmark::internal::Benchmark* b)
{
    b->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Repetitions(int(Spread::kMinRuns));
}

BENCHMARK(BM_LogInsert)->Apply(sizesAndRepetitions);
BENCHMARK(BM_CopyWithCp)->Apply(sizesAndRepetitions);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/log-bench-XXXXXX"));
    workDir = &dir;
    benchmark::Initialize(&argc, argv);
    SampleCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto insert1 = reporter.samples("BM_LogInsert/1"), insert100 = reporter.samples("BM_LogInsert/100");
    const auto cp100 = reporter.samples("BM_CopyWithCp/100");
    Spread::of(insert1).print("log_insert_1MB_ms", 2);
    Spread::of(reporter.samples("BM_LogInsert/10")).print("log_insert_10MB_ms", 2);
    Spread::of(insert100).print("log_insert_100MB_ms", 2);
    Spread::of(cp100).print("cp_100MB_ms", 2);
    Spread::of(Spread::ratios(insert100, cp100)).print("log_insert_100MB_vs_cp", 2, "ratio");
    // Cost per megabyte at 100 MB against that at 1 MB: 1.0 or less is linear growth or better.
    Spread::of(Spread::ratios(insert100, insert1, 1 / 100.0)).print("log_insert_scaling_1MB_to_100MB", 2, "ratio");
    return 0;
}
