// One whole check cycle of the Windows build with every target enabled: the 20 hosts answer on loopback, 10 of
// the 15 processes run (copies of this program under names of their own, started here) and 5 do not, so each
// cycle also logs those 5. The real probes, the real log and the real platform; only the two windows are
// replaced, by the fields and the lamp below. Google Benchmark is not built for Windows, so the cycles are
// timed here: one warm-up cycle, then the median of single cycles.
// Prints "bench: windows_cycle_all_enabled_up_ms value=<median>" or "... skipped: <why>".
#include "BenchStandIns.h"
#include "eventlog/EventLog.h"
#include "monitor/CheckCycle.h"
#include "monitor/SystemProbes.h"
#include "platform/WindowsPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRunningCount = 10; // processes 1-10 run, 11-15 do not
constexpr int kMeasuredCycles = 21;
constexpr char kSleepArgument[] = "--sleep";

const QString kProcessPattern = QStringLiteral("pylbench%1.exe");

QString processName(int number)
{
    return kProcessPattern.arg(number);
}


// The running copies, in a job that the system kills with its last handle: when this program ends, however
// it ends, the copies end too.
class SleepingCopies {
public:
    SleepingCopies() : job_(CreateJobObjectW(nullptr, nullptr))
    {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job_ != nullptr &&
            !SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(job_);
            job_ = nullptr;
        }
    }
    ~SleepingCopies()
    {
        // The copies' files can only go once the copies are gone.
        if (job_ != nullptr)
            TerminateJobObject(job_, 0);
        for (HANDLE process : processes_) {
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        if (job_ != nullptr)
            CloseHandle(job_);
    }
    SleepingCopies(const SleepingCopies&) = delete;
    SleepingCopies& operator=(const SleepingCopies&) = delete;

    // Copies this program to `path` and starts the copy sleeping; empty when it runs, else why not.
    std::string start(const QString& path)
    {
        if (job_ == nullptr)
            return "no job object for the processes";
        if (!QFile::copy(QCoreApplication::applicationFilePath(), path))
            return "could not copy the program to " + path.toStdString();
        const std::wstring file = QDir::toNativeSeparators(path).toStdWString();
        std::wstring commandLine = L"\"" + file + L"\" " + QString::fromLatin1(kSleepArgument).toStdWString();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        // Suspended until it is in the job, so that it never runs outside it. Without a console: one made for
        // it could hold this program's output open.
        if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                            CREATE_SUSPENDED | DETACHED_PROCESS, nullptr, nullptr, &startup, &process)) {
            return "could not start " + path.toStdString() + " (error " + std::to_string(GetLastError()) + ")";
        }
        if (!AssignProcessToJobObject(job_, process.hProcess)) {
            const DWORD error = GetLastError();
            TerminateProcess(process.hProcess, 0);
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            return "could not put a process in the job (error " + std::to_string(error) + ")";
        }
        ResumeThread(process.hThread);
        CloseHandle(process.hThread);
        processes_.push_back(process.hProcess);
        return {};
    }

private:
    HANDLE job_;
    std::vector<HANDLE> processes_;
};

// Why a cycle did not come out as set up (hosts and running processes on, the rest off, the lamp red), or
// empty when it did.
std::string unexpectedOutcome(const CheckCycle& cycle, const BenchLamp& lamp)
{
    for (TargetKind kind : {TargetKind::Device, TargetKind::Cam, TargetKind::Process}) {
        const int count = kind == TargetKind::Process ? kProcessCount
                          : kind == TargetKind::Cam   ? kCamCount
                                                      : kDeviceCount;
        for (int n = 1; n <= count; ++n) {
            const bool running = kind != TargetKind::Process || n <= kRunningCount;
            const QString& expected = running ? kStateUp : kStateDown;
            const QString& state = cycle.state(kind, n);
            if (state == expected)
                continue;
            const char* what = kind == TargetKind::Device ? "Device" : kind == TargetKind::Cam ? "Cam" : "Process";
            std::string why =
                what + std::to_string(n) + " is " + state.toStdString() + ", not " + expected.toStdString();
            if (kind != TargetKind::Process)
                why += ": the echo to 127.0.0.1 failed (it needs root or net.ipv4.ping_group_range under Wine)";
            return why;
        }
    }
    if (!lamp.isPictureVisible(StatusLamp::Image2) || lamp.isPictureVisible(StatusLamp::Image1))
        return "the lamp is not red";
    return {};
}

// The median of single cycles in milliseconds, or why there is none.
std::string measure(QTemporaryDir& dir, double& medianMs)
{
    SleepingCopies copies;
    for (int n = 1; n <= kRunningCount; ++n) {
        const std::string problem = copies.start(dir.filePath(processName(n)));
        if (!problem.empty())
            return problem;
    }

    WindowsPlatform platform;
    SystemProbes probes(platform);
    EventLog log(platform, dir.filePath(EventLog::kFileName));
    BenchLamp lamp;
    AllEnabledFields fields{kProcessPattern};
    QTimer timer1;
    CheckCycle cycle(lamp, probes, log, platform, timer1);
    cycle.setFields(&fields);

    cycle.run(); // also warms the caches the measured cycles then find as a user's cycles do
    std::string problem = unexpectedOutcome(cycle, lamp);
    if (!problem.empty())
        return problem;

    std::vector<qint64> nanoseconds;
    QElapsedTimer timer;
    for (int i = 0; i < kMeasuredCycles; ++i) {
        timer.start();
        cycle.run();
        nanoseconds.push_back(timer.nsecsElapsed());
    }
    problem = unexpectedOutcome(cycle, lamp);
    if (!problem.empty())
        return "after the measured cycles: " + problem;

    const auto middle = nanoseconds.begin() + kMeasuredCycles / 2;
    std::nth_element(nanoseconds.begin(), middle, nanoseconds.end());
    medianMs = static_cast<double>(*middle) / 1e6;
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    // A copy started by the benchmark: it only has to be in the process table until the job ends it.
    if (argc == 2 && std::strcmp(argv[1], kSleepArgument) == 0) {
        Sleep(INFINITE);
        return 0;
    }

    QCoreApplication app(argc, argv);
    // The program's user-interface thread is in a COM apartment for its whole run (Qt's window system
    // integration joins one); without a desktop here, the benchmark joins it itself.
    OleInitialize(nullptr);
    QTemporaryDir dir;
    double medianMs = 0;
    const std::string problem = dir.isValid() ? measure(dir, medianMs) : "no temporary folder";
    if (problem.empty())
        std::printf("bench: windows_cycle_all_enabled_up_ms value=%.2f\n", medianMs);
    else
        std::printf("bench: windows_cycle_all_enabled_up_ms skipped: %s\n", problem.c_str());
    return 0;
}
