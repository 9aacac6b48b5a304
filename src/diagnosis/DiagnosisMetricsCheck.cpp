#include "diagnosis/DiagnosisChecks.h"

#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/WithinLimit.h"
#include "settings/SettingsStore.h"

using Verdict = CheckResult::Verdict;
using Status = MetricsFile::Status;

namespace {

constexpr int kFolderLimitMs = 1'000;

} // namespace

// The folder is judged by the writer's own rules, and never named: its path is a settings value.
CheckResult DiagnosisChecks::metrics()
{
    CheckResult check = named("metrics", "Metrics");
    const QString folder = DiagnosisChecks::scopeSettings().metricsFolder();
    check.values.insert(QStringLiteral("folder_set"), !folder.isEmpty());
    if (folder.isEmpty()) {
        check.set(Verdict::NotApplicable, QStringLiteral("MetricsFolder is not set"));
        return check;
    }
    // A network share that is gone can hold a file call for minutes; the answer is waited for a bounded time.
    const std::optional<DiagnosisSystem::MetricsPlace> found = withinLimit<DiagnosisSystem::MetricsPlace>(
        [folder] { return DiagnosisSystem::metricsPlace(folder); }, kFolderLimitMs);
    if (!found) {
        check.set(
            Verdict::Warn,
            QStringLiteral("MetricsFolder set, but the folder did not answer within %1 s").arg(kFolderLimitMs / 1000),
            QStringLiteral("Check that the share or disk it lies on is reachable."));
        return check;
    }
    const bool isFolder = found->status != Status::FolderMissing && found->status != Status::NotAFolder;
    const bool writable = isFolder && found->status != Status::NotWritable && found->status != Status::DiskFull;
    check.values.insert(QStringLiteral("is_folder"), isFolder);
    check.values.insert(QStringLiteral("writable"), writable && !found->stickyBlocked);
    check.values.insert(QStringLiteral("writable_by_others"), found->othersWritable);
    check.values.insert(QStringLiteral("writable_by_group"), found->groupWritable);
    check.values.insert(QStringLiteral("last_file_age_s"), double(found->age));
    if (found->status == Status::FolderMissing) {
        check.set(Verdict::Fail, QStringLiteral("MetricsFolder set, but no folder is there"),
                  QStringLiteral("Create the folder, or set MetricsFolder to an existing one."));
        return check;
    }
    if (found->status == Status::NotAFolder) {
        check.set(Verdict::Fail, QStringLiteral("MetricsFolder set, but it names something that is no folder"),
                  QStringLiteral("Set MetricsFolder to a folder."));
        return check;
    }
    check.summary = QStringLiteral("MetricsFolder set, ") + found->kind;
    if (found->age >= 0)
        check.summary += QStringLiteral(", pylvane.prom written %1").arg(ageText(found->age));
    else if (!found->standing.isEmpty())
        check.summary +=
            QStringLiteral(", %1 stands at pylvane.prom, which the next write replaces").arg(found->standing);
    else if (found->status != Status::FileRefused && !found->stickyBlocked)
        check.summary += QStringLiteral(", no pylvane.prom yet");
    // In a folder with the sticky bit only the owner of a name, of the folder, or root may replace it.
    if (found->stickyBlocked) {
        check.summary +=
            QStringLiteral(": another user's file stands there as pylvane.prom, which no write can replace");
        check.verdict = Verdict::Fail;
        check.remedy =
            QStringLiteral("Let that user or an administrator remove it, or give Pylvane a folder of its own.");
    }
    if (found->status == Status::NotWritable)
        check.worsen(Verdict::Fail, QStringLiteral("the folder cannot be written"),
                     QStringLiteral("Let your user write the folder."));
    if (found->status == Status::DiskFull)
        check.worsen(Verdict::Fail, QStringLiteral("the disk is full"),
                     QStringLiteral("Free some space on that disk."));
    if (found->status == Status::FileRefused)
        check.worsen(Verdict::Fail, QStringLiteral("a folder stands at pylvane.prom, and Pylvane cannot replace it"),
                     QStringLiteral("Remove what stands under that name; Pylvane makes its own file."));
    if (found->othersWritable && !found->stickyBlocked)
        check.worsen(Verdict::Warn, QStringLiteral("others may write into the folder"),
                     QStringLiteral("Let only you and the exporter write it (chmod o-w)."));
    else if (found->groupWritable && !found->stickyBlocked)
        check.worsen(Verdict::Warn, QStringLiteral("its group may write into the folder"),
                     QStringLiteral("Let only you write it, and the exporter read it (chmod g-w)."));
    return check;
}
