// What the system's log and the metrics file add to one check cycle on the UI thread, worst case: all 35
// targets reported down, the failure command's event, and the metrics file handed to its writer process.
// Prints "bench: cycle_events_metrics_overhead_ms value=<median> min= max= thread_cpu_ms=<median>", each
// repetition waiting (untimed) for the writer it started, as the next cycle would come 1,000 seconds later. Beside
// the time that passes it gives the processor time of the thread: on a busy machine the woken writer may run first
// on the only free core, which the first figure then counts.
#include "Spread.h"
#include "metrics/MetricsWriter.h"
#include "systemlog/AdminCommand.h"
#include "systemlog/SystemEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[])
{
    // The metrics writer is this program, started again with its option.
    if (argc == 2 && argv[1] == MetricsWriter::kOption.toUtf8()) {
        AdminCommand::useBinaryInput();
        return MetricsWriter::runWriter();
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::unique_ptr<SystemEvents> events = SystemEvents::forThisSystem();
    MetricsWriter writer(dir.path(), *events);

    MetricsReport report;
    report.cycleEnd = QDateTime::currentDateTime();
    for (int n = 1; n <= 35; ++n) {
        const QString kind = n <= 10 ? QStringLiteral("device") : n <= 20 ? QStringLiteral("camera") : "process";
        report.targets.append({kind, n, QStringLiteral("Target%1").arg(n), QStringLiteral("10.0.0.%1").arg(n),
                               MetricsTarget::State::Down});
    }
    report.targetsDown = 35;

    const auto threadMs = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    };
    std::vector<double> times;
    std::vector<double> cpu;
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&writer, &MetricsWriter::written, &loop, [&] {
        ended = true;
        loop.quit();
    });
    for (int run = 0; run < 41; ++run) {
        ended = false;
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadMs();
        for (const MetricsTarget& target : report.targets)
            events->targetDown(target.kind, target.name, target.text);
        events->failureCommandStarted(QStringLiteral("/usr/local/bin/alarm"));
        writer.write(report);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(threadMs() - cpuStart);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        if (!ended)
            loop.exec();
        if (!ended) {
            std::printf("bench: cycle_events_metrics_overhead_ms skipped: the metrics writer did not end\n");
            return 0;
        }
    }
    char cpuMedian[64];
    std::snprintf(cpuMedian, sizeof cpuMedian, "thread_cpu_ms=%.3f", Spread::of(cpu).median);
    Spread::of(times).print("cycle_events_metrics_overhead_ms", 3, "value", cpuMedian);
    return 0;
}
