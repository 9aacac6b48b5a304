// Timings of the echo and process probes, read by bench/probes/run.sh together with its reference
// commands (ping, pgrep) measured in the same run.
#include "probes/Module1.h"
#include "probes/ProcessTable.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// No process has this name, so both the probe and pgrep look at every process.
constexpr const char* kAbsentName = "pylvane-nx.exe"; // within the 15 characters pgrep accepts
constexpr int kExtraProcesses = 1000;

// Sleeping children that make the process list as long as on a busy machine.
class Sleepers {
public:
    void ensureStarted()
    {
        const pid_t parent = getpid();
        while (pids_.size() < kExtraProcesses) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a benchmark that crashed
                if (getppid() != parent) {
                    _exit(0);
                }
                for (;;) {
                    pause();
                }
            }
            if (pid < 0) {
                break;
            }
            pids_.push_back(pid);
        }
    }
    void stop()
    {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
        }
        for (pid_t pid : pids_) {
            waitpid(pid, nullptr, 0);
        }
        pids_.clear();
    }

private:
    std::vector<pid_t> pids_;
};

Sleepers sleepers;

void BM_EchoLoopback(benchmark::State& state)
{
    EchoReply reply;
    for (auto _ : state) {
        if (Module1::SendEcho("127.0.0.1", "1", reply) != 0) {
            state.SkipWithError("127.0.0.1 did not answer");
            break;
        }
    }
}
// run.sh takes the median of each run of the program against one run of ping, in several rounds.
BENCHMARK(BM_EchoLoopback)->Unit(benchmark::kMicrosecond)->Iterations(1)->Repetitions(25)->ReportAggregatesOnly(true);

// Run by run.sh inside a network namespace whose loopback ignores echo requests.
void BM_EchoSilentHost(benchmark::State& state)
{
    EchoReply reply;
    for (auto _ : state) {
        if (Module1::SendEcho("127.0.0.1", "1", reply) != 11010) {
            state.SkipWithError("the silent host did not time out");
            break;
        }
    }
}
// Every repetition is reported: run.sh takes their median, least and most.
BENCHMARK(BM_EchoSilentHost)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);

void BM_ExeExists(benchmark::State& state)
{
    sleepers.ensureStarted();
    for (auto _ : state) {
        benchmark::DoNotOptimize(exeRunning(kAbsentName));
    }
}
BENCHMARK(BM_ExeExists)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.2)->Repetitions(9);

// The reference: one whole pgrep run, program start included, as a script would call it.
void BM_PgrepWholeRun(benchmark::State& state)
{
    sleepers.ensureStarted();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("pgrep"), const_cast<char*>("-x"), const_cast<char*>("-i"),
                    const_cast<char*>(kAbsentName), nullptr};
    for (auto _ : state) {
        pid_t pid = -1;
        if (posix_spawnp(&pid, "pgrep", &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("pgrep cannot be started");
            break;
        }
        waitpid(pid, nullptr, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_PgrepWholeRun)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.2)->Repetitions(9);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    sleepers.stop();
    benchmark::Shutdown();
    return 0;
}
