// One whole check cycle with every target enabled and up: the 20 hosts answer on loopback and the 15
// processes run (copies of sleep under names of their own, started here). The real probes, the real
// log and the real platform; only the two windows are replaced, by the fields and the lamp below.
// Prints "bench: cycle_all_enabled_up_ms value=<median of single cycles>", and what the end of a cycle adds
// to it: the report, its comparison with the one before, the notice and the status file
// ("bench: cycle_reporting_overhead_ms value=<median>").
#include "BenchStandIns.h"
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
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

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
BENCHMARK(BM_CycleAllEnabledUp)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(41)
    ->ReportAggregatesOnly(true);

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
BENCHMARK(BM_CycleReporting)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(101)
    ->ReportAggregatesOnly(true);

// Keeps the median real time for the summary line, and whether the benchmark gave up.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    // Without colour: its escape codes would otherwise stand in front of the summary line on a pipe.
    MedianCollector() : ConsoleReporter(OO_Tabular) {}

    double medianMs = -1;
    std::string error;
    double reportingMs = -1;
    std::string reportingError;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool reporting = run.benchmark_name().rfind("BM_CycleReporting", 0) == 0;
            if (run.error_occurred)
                (reporting ? reportingError : error) = run.error_message;
            else if (run.aggregate_name == "median")
                (reporting ? reportingMs : medianMs) = run.GetAdjustedRealTime();
        }
    }
};

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
    MedianCollector reporter;
    if (pids.size() == static_cast<size_t>(kProcessCount))
        benchmark::RunSpecifiedBenchmarks(&reporter);
    else
        reporter.error = "could not start the 15 processes";
    benchmark::Shutdown();
    stopProcesses(pids);

    if (reporter.medianMs >= 0 && reporter.error.empty())
        std::printf("bench: cycle_all_enabled_up_ms value=%.2f\n", reporter.medianMs);
    else
        std::printf("bench: cycle_all_enabled_up_ms skipped: %s\n",
                    reporter.error.empty() ? "no figure" : reporter.error.c_str());
    if (reporter.reportingMs >= 0 && reporter.reportingError.empty())
        std::printf("bench: cycle_reporting_overhead_ms value=%.3f\n", reporter.reportingMs);
    else
        std::printf("bench: cycle_reporting_overhead_ms skipped: %s\n",
                    reporter.reportingError.empty() ? "no figure" : reporter.reportingError.c_str());
    return 0;
}
