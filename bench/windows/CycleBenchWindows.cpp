// One whole check cycle of the Windows build with every target enabled: the 20 hosts answer on loopback, 10 of
// the 15 processes run (copies of this program under names of their own, started here) and 5 do not, so each
// cycle also logs those 5. The real probes, the real log and the real platform; only the two windows are
// replaced, by the fields and the lamp below. Nearly all of a cycle is its 30 process queries and 20 echoes,
// which the system's speed decides, so the figure is the cycle's time over the time of the same probes alone,
// both measured in turn in the same run. Google Benchmark is not built for Windows, so they are timed here: one
// warm-up of each, then the medians of single cycles and of single rounds of the probes.
// Prints "bench: windows_cycle_vs_its_probes ratio=<median cycle / median probes>" or "... skipped: <why>", and
// on the error output the medians, with that of the cycle's log entries written alone.
#include "BenchStandIns.h"
#include "eventlog/EventLog.h"
#include "monitor/CheckCycle.h"
#include "monitor/SystemProbes.h"
#include "monitor/Targets.h"
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

double medianMs(std::vector<qint64> nanoseconds)
{
    const auto middle = nanoseconds.begin() + static_cast<std::ptrdiff_t>(nanoseconds.size() / 2);
    std::nth_element(nanoseconds.begin(), middle, nanoseconds.end());
    return static_cast<double>(*middle) / 1e6;
}

// The probes of one cycle and nothing else, in the cycle's order: for each of the 20 hosts a socket session
// around one echo, then two process queries for each of the 15 processes. Empty when each answered as in the
// cycle, else what did not.
std::string probesAlone(SystemProbes& probes, const AllEnabledFields& fields)
{
    std::string problem;
    for (TargetKind kind : {TargetKind::Device, TargetKind::Cam}) {
        for (int n = 1; n <= (kind == TargetKind::Cam ? kCamCount : kDeviceCount); ++n) {
            if (probes.WinsockStart() == 0)
                problem = "the socket library did not start";
            EchoReply reply;
            if (probes.SendEcho(fields.targetText(kind, n).toStdString(), "1", reply) != 0)
                problem = "an echo to 127.0.0.1 failed";
            probes.WinsockStop();
        }
    }
    for (int n = 1; n <= kProcessCount; ++n) {
        const int expected = n <= kRunningCount ? -1 : 0;
        for (int query = 0; query < 2; ++query) {
            if (probes.ExeExists(fields.processName(n)) != expected)
                problem = "the query for " + fields.processName(n).toStdString() + " gave the wrong answer";
        }
    }
    return problem;
}

struct Medians {
    double cycleMs = 0;
    double probesMs = 0;
    double logMs = 0;
};

// The medians of single cycles and of single rounds of their probes, or why there are none.
std::string measure(QTemporaryDir& dir, Medians& medians)
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

    problem = probesAlone(probes, fields);
    if (!problem.empty())
        return problem;

    std::vector<qint64> cycleNs;
    std::vector<qint64> probesNs;
    std::vector<qint64> logNs;
    QElapsedTimer timer;
    for (int i = 0; i < kMeasuredCycles; ++i) {
        timer.start();
        cycle.run();
        cycleNs.push_back(timer.nsecsElapsed());
        timer.start();
        problem = probesAlone(probes, fields);
        probesNs.push_back(timer.nsecsElapsed());
        if (!problem.empty())
            return "in the measured rounds: " + problem;
        // What explains most of the rest: the entries of the 5 processes that do not run.
        timer.start();
        for (int n = kRunningCount + 1; n <= kProcessCount; ++n)
            log.WriteLogEntry(HeaderStyle::ProcessHeader, logLabel(TargetKind::Process, n));
        logNs.push_back(timer.nsecsElapsed());
    }
    problem = unexpectedOutcome(cycle, lamp);
    if (!problem.empty())
        return "after the measured cycles: " + problem;

    medians.cycleMs = medianMs(cycleNs);
    medians.probesMs = medianMs(probesNs);
    medians.logMs = medianMs(logNs);
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
    Medians medians;
    const std::string problem = dir.isValid() ? measure(dir, medians) : "no temporary folder";
    if (problem.empty()) {
        std::printf("bench: windows_cycle_vs_its_probes ratio=%.3f\n", medians.cycleMs / medians.probesMs);
        std::fprintf(stderr,
                     "  medians: cycle %.2f ms, its 30 process queries and 20 echoes alone %.2f ms, its 5 log "
                     "entries alone %.2f ms\n",
                     medians.cycleMs, medians.probesMs, medians.logMs);
    } else {
        std::printf("bench: windows_cycle_vs_its_probes skipped: %s\n", problem.c_str());
    }
    return 0;
}
