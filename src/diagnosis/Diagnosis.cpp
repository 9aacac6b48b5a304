#include "diagnosis/Diagnosis.h"

#include "diagnosis/DesktopPart.h"
#include "diagnosis/DiagnosisChecks.h"
#include "diagnosis/DiagnosisReport.h"
#include "diagnosis/DiagnosisScope.h"
#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/ProgramAge.h"
#include "platform/ConsoleOutput.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using Verdict = CheckResult::Verdict;
using Clock = std::chrono::steady_clock;

namespace {

// Taken before main(), where the system does not tell when it started the process.
const Clock::time_point kStaticStart = Clock::now();

// The whole run ends within five seconds of the process's start; the rest is for ending the parts and the output.
constexpr auto kRunLimit = std::chrono::milliseconds(3'800);

// The program's start on this clock: as the system tells it, loading included, or failing that, before main().
Clock::time_point programStart()
{
    const std::optional<std::chrono::milliseconds> age = programAge();
    // Another clock than the system's might make nonsense of it: a start neither ahead nor more than a minute back.
    if (!age || *age < std::chrono::milliseconds(0) || *age > std::chrono::minutes(1))
        return kStaticStart;
    return std::min(kStaticStart, Clock::now() - *age);
}

struct FileCheck {
    const char* id;
    const char* name;
    std::function<CheckResult()> run;
    bool afterPrevious = false; // on the thread of the check before it: the two read the process table alike
};

// The checks that read files and ask the probes, in the report's order. The desktop's lines come after the log's.
const std::vector<FileCheck>& fileChecks()
{
    static const std::vector<FileCheck> checks{
        {"program", "Program", DiagnosisChecks::program},
        {"echo", "Echo", DiagnosisChecks::echo},
        {"process-lookup", "Process lookup", DiagnosisChecks::processLookup},
        {"management-service", "Management service", DiagnosisSystem::managementService, true},
        {"settings", "Settings", DiagnosisChecks::settings},
        {"log", "Log", DiagnosisChecks::log},
        {"log-viewer", "Open Log", DiagnosisChecks::logViewer},
        {"system-log", "System log", DiagnosisSystem::systemLog},
        {"status-file", "Status file", DiagnosisChecks::statusFile},
        {"metrics", "Metrics", DiagnosisChecks::metrics},
        {"history", "History", DiagnosisChecks::history},
        {"autostart", "Start at sign-in", DiagnosisSystem::autostart},
    };
    return checks;
}
constexpr qsizetype kDesktopAt = 6;

// What the file checks have found so far, each on a thread of its own, so that one that is slow (WMI's first
// answer, a share that is slow to answer) leaves the others their time. A file call on a share that is gone, or on
// a disk that hangs, may not come back at all; its thread is then left behind, and the program ends without it.
struct Progress {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<CheckResult>> found;
    std::size_t open = 0;
};

QString seconds(Clock::duration time)
{
    return QString::number(double(std::chrono::duration_cast<std::chrono::milliseconds>(time).count() / 100) / 10) +
           QStringLiteral(" s");
}

// A line of the desktop's that a run without one does not have.
CheckResult notForThisRun(const QString& id, const QString& name)
{
    CheckResult check;
    check.id = id;
    check.name = name;
    check.set(Verdict::NotApplicable, QStringLiteral("does not apply to a run without a desktop"));
    return check;
}

QList<CheckResult> notForThisRun()
{
    return {notForThisRun(QStringLiteral("desktop"), QStringLiteral("Desktop")),
            notForThisRun(QStringLiteral("notifications"), QStringLiteral("Notifications")),
            notForThisRun(QStringLiteral("accessibility"), QStringLiteral("Accessibility"))};
}

} // namespace

QString Diagnosis::stoppedNote()
{
    return QStringLiteral("The diagnosis was stopped at its limit of %1: what had not answered by then says so above.")
        .arg(seconds(kRunLimit));
}

int Diagnosis::run(int argc, char* argv[], bool json)
{
    // Never an application with a display: everything that touches one runs in the processes of DesktopPart.
    std::unique_ptr<QCoreApplication> ownApp;
    if (QCoreApplication::instance() == nullptr)
        ownApp = std::make_unique<QCoreApplication>(argc, argv);
    const Clock::time_point started = programStart();
    const Clock::time_point deadline = started + kRunLimit;

    // A run without a desktop has none to look at: its desktop lines do not apply, and no display is asked.
    const bool withoutDesktop = DiagnosisScope::current().withoutDesktop();
    DesktopPart display(DesktopPart::kDisplay);
    DesktopPart bus(DesktopPart::kBus);
    if (!withoutDesktop) {
        display.start();
        bus.start();
    }

    const auto& all = fileChecks();
    auto progress = std::make_shared<Progress>();
    progress->found.resize(all.size());
    progress->open = all.size();
    std::vector<std::thread> workers;
    for (std::size_t first = 0; first < all.size();) {
        std::size_t end = first + 1;
        while (end < all.size() && all[end].afterPrevious)
            ++end;
        workers.emplace_back([progress, first, end] {
            for (std::size_t i = first; i < end; ++i) {
                CheckResult result = fileChecks()[i].run();
                const std::lock_guard lock(progress->mutex);
                progress->found[i] = std::move(result);
                --progress->open;
                progress->changed.notify_all();
            }
        });
        first = end;
    }

    if (!withoutDesktop) {
        display.finishBy(deadline);
        bus.finishBy(deadline);
    }
    QList<CheckResult> checks;
    bool finished = false;
    {
        std::unique_lock lock(progress->mutex);
        progress->changed.wait_until(lock, deadline, [&progress] { return progress->open == 0; });
        finished = progress->open == 0;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (progress->found[i]) {
                checks << *progress->found[i];
                continue;
            }
            CheckResult check;
            check.id = QString::fromLatin1(all[i].id);
            check.name = QString::fromLatin1(all[i].name);
            check.values.insert(QStringLiteral("answered"), false);
            check.set(Verdict::Warn, QStringLiteral("did not answer within %1").arg(seconds(Clock::now() - started)),
                      QStringLiteral("Check that the disks and shares it reads answer; a file call that does not "
                                     "return holds Pylvane too."));
            checks << check;
        }
    }
    for (std::thread& worker : workers) {
        if (finished)
            worker.join();
        else
            worker.detach();
    }
    QList<CheckResult> desktop = withoutDesktop ? notForThisRun() : display.results() + bus.results();
    if (withoutDesktop) {
        for (CheckResult& check : checks)
            if (check.id == QLatin1String("log-viewer") || check.id == QLatin1String("autostart"))
                check = notForThisRun(check.id, check.name);
    }
    for (qsizetype i = 0; i < desktop.size(); ++i)
        checks.insert(kDesktopAt + i, desktop[i]);
    const bool answered = std::all_of(checks.cbegin(), checks.cend(), [](const CheckResult& check) {
        return check.values.value(QStringLiteral("answered")).toBool(true);
    });

    const DiagnosisReport report(checks);
    QString output;
    if (json) {
        QJsonObject document = QJsonDocument::fromJson(report.json()).object();
        document.insert(QStringLiteral("stopped_at_limit"), !answered);
        output = QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
    } else {
        output = report.text();
        if (!answered)
            output += stoppedNote() + QLatin1Char('\n');
    }
    ConsoleOutput::write(output);
    // A thread held in the kernel would keep the process from ending; nothing of the program needs ending in order.
    if (!finished)
        std::_Exit(report.exitCode());
    return report.exitCode();
}
