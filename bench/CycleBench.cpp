// One whole check cycle with every target enabled and up: the 20 hosts answer on loopback and the 15
// processes run (copies of sleep under names of their own, started here). The real probes, the real
// log and the real platform; only the two windows are replaced, by the fields and the lamp below.
// Prints "bench: cycle_all_enabled_up_ms value=<median of single cycles> min= max=", and what the end of a cycle
// adds to it: the report, its comparison with the one before, the notice and the status file
// ("bench: cycle_reporting_overhead_ms value=<median> min= max=").
#include "BenchStandIns.h"
#include "SampleCollector.h"
#include "Spread.h"
#include "eventlog/EventLog.h"
#include "monitor/CheckCycle.h"
#include "monitor/CycleReport.h"
#include "outcome/CycleReporter.h"
#include "outcome/Notice.h"
#include "outcome/Notifier.h"
#include "monitor/SystemProbes.h"
#include "platform/PosixPlatform.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kProcessPattern = QStringLiteral("pylbench%1");

QString processName(int number)
{
    return kProcessPattern.arg(number);
}

// The running processes the 15 process targets look for; they die with the benchmark, however it ends.
std::vector<pid_t> startProcesses(const QString& dir)
{
    std::vector<pid_t> pids;
    const pid_t parent = getpid();
    for (int n = 1; n <= kProcessCount; ++n) {
        const QString path = dir + QLatin1Char('/') + processName(n);
        if (!QFile::copy(QStringLiteral("/bin/sleep"), path))
            break;
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        const std::string file = QFile::encodeName(path).toStdString();
        const std::string name = processName(n).toStdString();
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(0);
            execl(file.c_str(), name.c_str(), "3600", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid < 0)
            break;
        pids.push_back(pid);
        // Until the child has replaced itself by the copy, its executable is still this program.
        const QString exe = QStringLiteral("/proc/%1/exe").arg(pid);
        for (int tries = 0; tries < 500 && QFile::symLinkTarget(exe) != path; ++tries)
            usleep(10'000);
    }
    return pids;
}

void stopProcesses(const std::vector<pid_t>& pids)
{
    for (pid_t pid : pids)
        kill(pid, SIGKILL);
    for (pid_t pid : pids)
        waitpid(pid, nullptr, 0);
}

struct Setup {
    PosixPlatform platform;
    SystemProbes probes{platform};
    EventLog* log = nullptr;
    BenchLamp lamp;
    AllEnabledFields fields{kProcessPattern};
    QTimer timer1;
};
Setup* setup = nullptr;

// Why a cycle did not find every target up, or empty when it did.
std::string notAllUp(const CheckCycle& cycle, const BenchLamp& lamp, const QString& logFile)
{
    for (TargetKind kind : {TargetKind::Device, TargetKind::Cam, TargetKind::Process}) {
        const int count = kind == TargetKind::Process ? kProcessCount : kDeviceCount;
        for (int n = 1; n <= count; ++n) {
            if (cycle.state(kind, n) == kStateUp)
                continue;
            const char* what = kind == TargetKind::Device ? "Device" : kind == TargetKind::Cam ? "Cam" : "Process";
            return what + std::to_string(n) + " not up (state " + cycle.state(kind, n).toStdString() + ")" +
                   (kind == TargetKind::Process ? "" : ": echo needs root or net.ipv4.ping_group_range");
        }
    }
    if (!lamp.isPictureVisible(StatusLamp::Image1) || lamp.isPictureVisible(StatusLamp::Image2))
        return "the lamp is not green";
    if (QFile::exists(logFile))
        return "a log entry was written";
    return {};
}

void BM_CycleAllEnabledUp(benchmark::State& state)
{
    CheckCycle cycle(setup->lamp, setup->probes, *setup->log, setup->platform, setup->timer1);
    cycle.setFields(&setup->fields);
    cycle.run(); // also warms the caches the measured cycles then find as a user's cycles do
    const std::string problem = notAllUp(cycle, setup->lamp, setup->log->fileName());
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    for (auto _ : state)
        cycle.run();
    const std::string after = notAllUp(cycle, setup->lamp, setup->log->fileName());
    if (!after.empty())
        state.SkipWithError(after.c_str());
}
BENCHMARK(BM_CycleAllEnabledUp)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(41);

// Probes that find every target down at once, so that a cycle's time is that of its log.
class AllDownProbes : public TargetProbes {
public:
    int WinsockStart() override { return -1; }
    void WinsockStop() override {}
    int32_t SendEcho(const std::string&, const std::string&, EchoReply& reply) override
    {
        reply.Status = 11010; // timed out
        return reply.Status;
    }
    std::optional<int> ExeExists(const QString&) override { return 0; }
};

QString bigLogPath()
{
    return setup->log->fileName() + QStringLiteral(".50MB");
}

// How long the event loop's turn after each of those cycles took.
std::vector<double> replacedLogMs;

// A log of 50 MB of old entries, written anew before each measured cycle.
void makeBigLog()
{
    QFile file(bigLogPath());
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("Pylvane Log File , Created 01.12.2026 09:00:00\r\n" + QByteArray(79, '=') + "\r\n");
    QByteArray block;
    while (block.size() < (1 << 20))
        block += "30.11.2026 23:59:59  - Cam1 OFF   \r\n\r\n";
    for (int i = 0; i < 50; ++i)
        file.write(block.left(1 << 20));
}

// A cycle that finds all 35 targets down, on a 50 MB log: its entries kept aside one by one, then
// one rewrite of the log.
void BM_Cycle35DownOn50MB(benchmark::State& state)
{
    AllDownProbes probes;
    EventLog log(setup->platform, bigLogPath());
    CheckCycle cycle(setup->lamp, probes, log, setup->platform, setup->timer1);
    AllEnabledFields fields{QStringLiteral("absent%1")};
    cycle.setFields(&fields);
    for (auto _ : state) {
        state.PauseTiming();
        makeBigLog();
        ::sync();
        state.ResumeTiming();
        cycle.run();
        // The turn of the event loop that follows the cycle in the program, where the replaced log is
        // given back to the file system; timed on its own.
        state.PauseTiming();
        const auto before = std::chrono::steady_clock::now();
        QCoreApplication::processEvents();
        replacedLogMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count());
        state.ResumeTiming();
    }
    QFile written(bigLogPath());
    const bool in = written.open(QIODevice::ReadOnly) && written.read(4096).count(" OFF   \r\n") >= 20 + 1;
    if (!in || QFile::exists(EventLog::pendingFileName(bigLogPath())))
        state.SkipWithError("the entries did not all go in");
}
BENCHMARK(BM_Cycle35DownOn50MB)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(int(Spread::kMinRuns));

// What the cycle is measured against: one copy of the same log with cp, and its data on disk.
void BM_CopyAndSync50MB(benchmark::State& state)
{
    const QString copy = bigLogPath() + QStringLiteral(".copy");
    for (auto _ : state) {
        state.PauseTiming();
        makeBigLog();
        QFile::remove(copy);
        ::sync();
        state.ResumeTiming();
        if (QProcess::execute(QStringLiteral("cp"), {bigLogPath(), copy}) != 0)
            state.SkipWithError("cp failed");
        const int fd = ::open(QFile::encodeName(copy).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fdatasync(fd) != 0)
            state.SkipWithError("fdatasync failed");
        if (fd >= 0)
            ::close(fd);
    }
}
BENCHMARK(BM_CopyAndSync50MB)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(int(Spread::kMinRuns));

// Counts the notices and builds their text, as the real notifier does before it sends them.
class CountingNotifier : public Notifier {
public:
    int shown = 0;
    void show(const Notice& notice) override { shown += notice.body().isEmpty() ? 0 : 1; }
};

// From the end of the cycle's own work: its report from the 35 states and fields, then the comparison, a
// notice (one target changes every cycle) and the status file, written to a folder of its own.
void BM_CycleReporting(benchmark::State& state)
{
    QTemporaryDir folder;
    CountingNotifier notifier;
    CycleReporter reporter(notifier, folder.filePath(QStringLiteral("pylvane")));
    std::array<QString, kTargetCount> states;
    states.fill(kStateUp);
    bool down = false;
    for (auto _ : state) {
        down = !down;
        states[12] = down ? kStateDown : kStateUp;
        CycleReport report = CycleReport::build(states, setup->fields);
        report.ended = QDateTime::currentDateTime();
        if (!reporter.report(report, 1010)) {
            state.SkipWithError("the status file could not be written");
            return;
        }
    }
    if (notifier.shown != int(state.iterations()))
        state.SkipWithError("not every changed cycle gave a notice");
}
BENCHMARK(BM_CycleReporting)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(101);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Setup bench;
    EventLog log(bench.platform, dir.filePath(EventLog::kFileName));
    bench.log = &log;
    setup = &bench;
    const std::vector<pid_t> pids = startProcesses(dir.path());

    benchmark::Initialize(&argc, argv);
    SampleCollector reporter;
    if (pids.size() != static_cast<size_t>(kProcessCount))
        reporter.error["BM_CycleAllEnabledUp"] = "could not start the 15 processes";
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    stopProcesses(pids);

    const auto line = [&](const char* bench, const char* name, int decimals) {
        const Spread spread = Spread::of(reporter.samples(bench));
        if (spread.runs == 0)
            std::printf("bench: %s skipped: %s\n", name, reporter.why(bench).c_str());
        else
            spread.print(name, decimals);
    };
    line("BM_CycleAllEnabledUp", "cycle_all_enabled_up_ms", 2);
    const std::vector<double> cycle = reporter.samples("BM_Cycle35DownOn50MB");
    const std::vector<double> copy = reporter.samples("BM_CopyAndSync50MB");
    const std::vector<double> ratios = Spread::ratios(cycle, copy);
    if (!ratios.empty()) {
        const Spread after = Spread::of(replacedLogMs);
        const Spread withAfter = Spread::of(Spread::ratios(
            [&] {
                std::vector<double> sums = cycle;
                for (size_t i = 0; i < sums.size() && i < replacedLogMs.size(); ++i)
                    sums[i] += replacedLogMs[i];
                return sums;
            }(),
            copy));
        char more[256];
        std::snprintf(more, sizeof more,
                      "(medians: cycle %.1f ms, cp and fdatasync %.1f ms; then the replaced log given back on the "
                      "next turn of the event loop, %.1f ms, %.2f with it)",
                      Spread::of(cycle).median, Spread::of(copy).median, after.median, withAfter.median);
        Spread::of(ratios).print("cycle_35_down_50MB_vs_copy", 2, "ratio", more);
    } else
        std::printf("bench: cycle_35_down_50MB_vs_copy skipped: %s\n", reporter.why("BM_Cycle35DownOn50MB").c_str());
    line("BM_CycleReporting", "cycle_reporting_overhead_ms", 3);
    return 0;
}
