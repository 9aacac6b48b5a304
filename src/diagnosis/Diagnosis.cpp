#include "diagnosis/Diagnosis.h"

#include "diagnosis/DesktopPart.h"
#include "diagnosis/DiagnosisChecks.h"
#include "diagnosis/DiagnosisReport.h"
#include "diagnosis/DiagnosisSystem.h"
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
#include <thread>

using Verdict = CheckResult::Verdict;
using Clock = std::chrono::steady_clock;

namespace {

// Taken as the program starts, before main(): the deadline counts from there.
const Clock::time_point kProgramStart = Clock::now();

// The whole run ends within five seconds; the rest is for the program's own start before main() and its output.
constexpr auto kRunLimit = std::chrono::milliseconds(3'800);

struct FileCheck {
    const char* id;
    const char* name;
    std::function<CheckResult()> run;
};

// The checks that read files and ask the probes, in the report's order. The desktop's lines come after the log's.
const std::vector<FileCheck>& fileChecks()
{
    static const std::vector<FileCheck> checks{
        {"program", "Program", DiagnosisChecks::program},
        {"echo", "Echo", DiagnosisChecks::echo},
        {"process-lookup", "Process lookup", DiagnosisChecks::processLookup},
        {"management-service", "Management service", DiagnosisSystem::managementService},
        {"settings", "Settings", DiagnosisChecks::settings},
        {"log", "Log", DiagnosisChecks::log},
        {"system-log", "System log", DiagnosisSystem::systemLog},
        {"status-file", "Status file", DiagnosisChecks::statusFile},
        {"metrics", "Metrics", DiagnosisChecks::metrics},
        {"autostart", "Start at sign-in", DiagnosisSystem::autostart},
    };
    return checks;
}
constexpr qsizetype kDesktopAt = 6;

// What the thread of the file checks has found so far. A file call on a share that is gone, or on a disk that
// hangs, may not come back at all; the thread is then left behind, and the program ends without it.
struct Progress {
    std::mutex mutex;
    std::condition_variable changed;
    QList<CheckResult> done;
    Clock::time_point began = Clock::now(); // of the check under way
    bool finished = false;
};

QString seconds(Clock::duration time)
{
    return QString::number(double(std::chrono::duration_cast<std::chrono::milliseconds>(time).count() / 100) / 10) +
           QStringLiteral(" s");
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
    const Clock::time_point deadline = kProgramStart + kRunLimit;

    DesktopPart display(DesktopPart::kDisplay);
    DesktopPart bus(DesktopPart::kBus);
    display.start();
    bus.start();

    auto progress = std::make_shared<Progress>();
    std::thread worker([progress] {
        for (const FileCheck& check : fileChecks()) {
            CheckResult result = check.run();
            const std::lock_guard lock(progress->mutex);
            progress->done << std::move(result);
            progress->began = Clock::now();
        }
        const std::lock_guard lock(progress->mutex);
        progress->finished = true;
        progress->changed.notify_all();
    });

    display.finishBy(deadline);
    bus.finishBy(deadline);
    QList<CheckResult> checks;
    bool finished = false;
    Clock::time_point began;
    {
        std::unique_lock lock(progress->mutex);
        progress->changed.wait_until(lock, deadline, [&progress] { return progress->finished; });
        finished = progress->finished;
        checks = progress->done;
        began = progress->began;
    }
    const auto& all = fileChecks();
    for (qsizetype i = checks.size(); i < qsizetype(all.size()); ++i) {
        CheckResult check;
        check.id = QString::fromLatin1(all[std::size_t(i)].id);
        check.name = QString::fromLatin1(all[std::size_t(i)].name);
        check.values.insert(QStringLiteral("answered"), false);
        if (i == checks.size())
            check.set(Verdict::Warn, QStringLiteral("did not answer within %1").arg(seconds(Clock::now() - began)),
                      QStringLiteral("Check that the disks and shares it reads answer; a file call that does not "
                                     "return holds Pylvane too."));
        else
            check.set(Verdict::Warn, QStringLiteral("not checked: the diagnosis reached its limit before"),
                      QStringLiteral("Run the diagnosis again once the check before this one answers."));
        checks << check;
    }
    if (finished)
        worker.join();
    else
        worker.detach();
    QList<CheckResult> desktop = display.results() + bus.results();
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
