#include "diagnosis/DiagnosisChecks.h"

#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/WithinLimit.h"
#include "eventlog/EventLog.h"
#include "eventlog/KeptEntriesFile.h"
#include "metrics/MetricsFile.h"
#include "monitor/CheckCycle.h"
#include "outcome/StatusCheck.h"
#include "outcome/StatusFile.h"
#include "platform/Platform.h"
#include "probes/EchoRights.h"
#include "probes/EchoStatus.h"
#include "probes/Module1.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLibraryInfo>
#include <QStorageInfo>
#include <QSysInfo>
#include <QTemporaryFile>

using Verdict = CheckResult::Verdict;

namespace {

constexpr int kFolderLimitMs = 1'000;
constexpr qint64 kLowSpaceBytes = 10 * 1024 * 1024;

CheckResult named(const char* id, const char* name)
{
    CheckResult check;
    check.id = QString::fromLatin1(id);
    check.name = QString::fromLatin1(name);
    return check;
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Whether a file can be made in `folder`, tried for real: the permission bits do not tell for root, for
// access lists or for a read-only mount. The file is new under a random name and gone at once.
bool canCreateIn(const QString& folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.pylvane-diagnosis-XXXXXX"));
    return probe.open();
}

qint64 secondsSince(const QDateTime& time)
{
    return time.isValid() ? time.secsTo(QDateTime::currentDateTime()) : -1;
}

} // namespace

QString DiagnosisChecks::ageText(qint64 seconds)
{
    if (seconds < 0)
        return QStringLiteral("in the future");
    if (seconds < 120)
        return QStringLiteral("%1 s ago").arg(seconds);
    if (seconds < 7'200)
        return QStringLiteral("%1 min ago").arg(seconds / 60);
    if (seconds < 172'800)
        return QStringLiteral("%1 h ago").arg(seconds / 3'600);
    return QStringLiteral("%1 days ago").arg(seconds / 86'400);
}

CheckResult DiagnosisChecks::program()
{
    CheckResult check = named("program", "Program");
    const QString executable = QCoreApplication::applicationFilePath();
    const QString installed = DiagnosisSystem::installKind(executable);
    check.values = {{QStringLiteral("version"), QStringLiteral(PYLVANE_VERSION)},
                    {QStringLiteral("os"), QSysInfo::prettyProductName()},
                    {QStringLiteral("architecture"), QSysInfo::currentCpuArchitecture()},
                    {QStringLiteral("qt"), QString::fromLatin1(qVersion())},
                    {QStringLiteral("installed"), installed},
                    {QStringLiteral("executable"), shown(executable)}};
    check.summary = QStringLiteral("Pylvane %1 on %2 (%3), Qt %4; %5, %6")
                        .arg(QStringLiteral(PYLVANE_VERSION), QSysInfo::prettyProductName(),
                             QSysInfo::currentCpuArchitecture(), QString::fromLatin1(qVersion()), installed,
                             shown(executable));
    return check;
}

CheckResult DiagnosisChecks::echo()
{
    CheckResult check = named("echo", "Echo");
    const QString way = DiagnosisSystem::echoWay();
    check.values.insert(QStringLiteral("way"), way.isEmpty() ? QStringLiteral("none") : way);
    if (way.isEmpty()) {
        const QString advice = QString::fromStdString(
            echoRightsAdvice(QCoreApplication::applicationFilePath().toStdString()));
        // The advice's part after the colon is what to do; before it stands what is wrong.
        const qsizetype colon = advice.indexOf(QStringLiteral(": "));
        QString remedy = colon < 0 ? advice : advice.mid(colon + 2);
        remedy[0] = remedy[0].toUpper();
        check.set(Verdict::Fail, QStringLiteral("Pylvane may not send ICMP echo, so no device or camera can be checked"),
                  remedy + QLatin1Char('.'));
        return check;
    }
    // The cycle's own path: the socket session and one echo with its data and its 500 ms limit.
    if (Module1::WinsockStart() == 0) {
        check.set(Verdict::Fail, way + QStringLiteral("; the socket library did not start"),
                  QStringLiteral("Restart the computer; if that does not help, report this line."));
        return check;
    }
    EchoReply reply;
    QElapsedTimer clock;
    clock.start();
    const int32_t status = Module1::SendEcho("127.0.0.1", "1", reply);
    const double elapsed = double(clock.nsecsElapsed() / 100'000) / 10;
    Module1::WinsockStop();
    check.values.insert(QStringLiteral("loopback_ms"), elapsed);
    check.values.insert(QStringLiteral("loopback_status"), int(status));
    if (status == EchoStatus::Success) {
        check.set(Verdict::Ok, QStringLiteral("%1; 127.0.0.1 answered in %2 ms").arg(way).arg(elapsed));
    } else {
        check.set(Verdict::Warn,
                  QStringLiteral("%1; 127.0.0.1 did not answer (%2)")
                      .arg(way, QString::fromStdString(Module1::DescribeEchoStatus(status)).simplified()),
                  QStringLiteral("Check that no firewall drops ICMP echo on this machine's own address."));
    }
    return check;
}

CheckResult DiagnosisChecks::processLookup()
{
    CheckResult check = named("process-lookup", "Process lookup");
    const std::optional<int> count = DiagnosisSystem::processCount();
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QElapsedTimer clock;
    clock.start();
    const std::optional<bool> found = DiagnosisSystem::tableHasImage(self);
    check.values = {{QStringLiteral("processes"), count ? QJsonValue(*count) : QJsonValue()},
                    {QStringLiteral("own_image_found"), found ? QJsonValue(*found) : QJsonValue()},
                    {QStringLiteral("lookup_ms"), double(clock.elapsed())}};
    const QString remedy = QStringLiteral("Pylvane cannot tell whether programs run; report this line.");
    if (!count || !found.has_value()) {
        check.set(Verdict::Fail, QStringLiteral("the process table could not be read"), remedy);
    } else if (!*found) {
        check.set(Verdict::Fail,
                  QStringLiteral("%1 processes read, but Pylvane's own %2 was not found among them").arg(*count).arg(self),
                  remedy);
    } else {
        check.set(Verdict::Ok, QStringLiteral("%1 processes read; Pylvane's own %2 found by name in %3 ms")
                                   .arg(*count)
                                   .arg(self)
                                   .arg(clock.elapsed()));
    }
    return check;
}

CheckResult DiagnosisChecks::settings()
{
    CheckResult check = named("settings", "Settings");
    const DiagnosisSystem::SettingsPlace place = DiagnosisSystem::settingsPlace();
    check.values.insert(QStringLiteral("location"), place.shown);
    if (place.state == DiagnosisSystem::SettingsPlace::Refused) {
        check.values.insert(QStringLiteral("readable"), false);
        check.set(Verdict::Fail, place.shown + QStringLiteral(" cannot be read, so every start is empty"),
                  QStringLiteral("Make it a regular file of your own, or remove it and save the settings again."));
        return check;
    }
    check.values.insert(QStringLiteral("readable"), true);
    const SettingsStore store;
    int present = 0;
    for (const QString& name : SettingsStore::valueNames())
        present += store.ReadSetting(SettingsStore::kKeyPath, name).has_value() ? 1 : 0;
    const auto enabled = [&store](QChar group, int count) {
        int ticked = 0;
        for (int n = 1; n <= count; ++n) {
            const QString name = group + QString::number(n) + u'b';
            ticked += SettingsStore::isTickText(store.ReadSetting(SettingsStore::kKeyPath, name).value_or(QString()));
        }
        return ticked;
    };
    const int devices = enabled(u'e', 10), cams = enabled(u'c', 10), processes = enabled(u'd', 15);
    // The failure command is looked up as the cycle looks it up, relative to the working folder; never started.
    const QString command =
        CheckCycle::commandFile(store.ReadSetting(SettingsStore::kKeyPath, QStringLiteral("a1")).value_or(QString()));
    const bool commandSet = !command.isEmpty();
    const bool commandFound = commandSet &&
                              Platform::forThisSystem()->fileExists(command, Platform::FileMask::OrdinaryOnly) &&
                              QFileInfo(command).isExecutable();
    check.values.insert(QStringLiteral("values_present"), present);
    check.values.insert(QStringLiteral("values_total"), int(SettingsStore::valueNames().size()));
    check.values.insert(QStringLiteral("damaged_lines"), int(place.damaged.size()));
    check.values.insert(QStringLiteral("enabled_devices"), devices);
    check.values.insert(QStringLiteral("enabled_cams"), cams);
    check.values.insert(QStringLiteral("enabled_processes"), processes);
    check.values.insert(QStringLiteral("failure_command_set"), commandSet);
    check.values.insert(QStringLiteral("failure_command_found"), commandFound);
    check.summary = QStringLiteral("%1, %2 of %3 values present; enabled: %4 devices, %5 cams, %6 processes")
                        .arg(place.state == DiagnosisSystem::SettingsPlace::Missing ? place.shown + QStringLiteral(" not saved yet")
                                                                                    : place.shown)
                        .arg(present)
                        .arg(SettingsStore::valueNames().size())
                        .arg(devices)
                        .arg(cams)
                        .arg(processes);
    check.summary += !commandSet      ? QStringLiteral("; no failure command")
                     : commandFound   ? QStringLiteral("; the failure command names an existing program")
                                      : QString();
    if (!place.damaged.isEmpty())
        check.worsen(Verdict::Warn, QStringLiteral("lines that cannot be read: ") + place.damaged.join(QStringLiteral(", ")),
                     QStringLiteral("Correct those lines by hand, or set the values again and Save."));
    if (commandSet && !commandFound)
        check.worsen(Verdict::Warn, QStringLiteral("the failure command names no program file that can be run"),
                     QStringLiteral("Give the failure command as the full path of an existing program, or clear it."));
    return check;
}

CheckResult DiagnosisChecks::log()
{
    CheckResult check = named("log", "Log");
    const QString folder = QDir::currentPath();
    const QString logPath = QDir(folder).filePath(EventLog::kFileName);
    const QString pendingPath = EventLog::pendingFileName(logPath);
    const bool writable = canCreateIn(folder);
    const QString logRefusal = DiagnosisSystem::fileRefusal(logPath);
    const QString pendingRefusal = DiagnosisSystem::fileRefusal(pendingPath);
    const QStorageInfo storage(folder);
    const qint64 freeBytes = storage.isValid() ? storage.bytesAvailable() : -1;
    check.values = {{QStringLiteral("folder"), shown(folder)},
                    {QStringLiteral("folder_writable"), writable},
                    {QStringLiteral("log_usable"), logRefusal.isEmpty()},
                    {QStringLiteral("pending_usable"), pendingRefusal.isEmpty()},
                    {QStringLiteral("free_mb"), double(freeBytes / (1024 * 1024))}};
    check.summary = QStringLiteral("working folder %1").arg(shown(folder));
    if (logRefusal.isEmpty() && QFileInfo::exists(logPath)) {
        check.values.insert(QStringLiteral("log_bytes"), double(QFileInfo(logPath).size()));
        check.summary += QStringLiteral(", %1 of %2 bytes").arg(EventLog::kFileName).arg(QFileInfo(logPath).size());
    }
    if (freeBytes >= 0)
        check.summary += QStringLiteral(", %1 MB free").arg(freeBytes / (1024 * 1024));
    int kept = 0;
    if (pendingRefusal.isEmpty() && QFileInfo::exists(pendingPath)) {
        // Opened without creating, read, and left as it is: the running program may be about to use it.
        KeptEntriesFile file(pendingPath);
        QByteArray contents;
        const KeptEntriesFile::Open opened = file.open(false, 200);
        if (opened == KeptEntriesFile::Open::Opened && file.readAll(contents))
            for (const QByteArray& line : contents.split('\n'))
                kept += line.trimmed().isEmpty() ? 0 : 1;
        else if (opened == KeptEntriesFile::Open::Busy)
            check.summary += QStringLiteral(", the kept-entries file is in use");
    }
    check.values.insert(QStringLiteral("kept_entries"), kept);
    check.summary += QStringLiteral(", %1 kept entries waiting").arg(kept);
    if (!writable)
        check.worsen(Verdict::Fail, QStringLiteral("the folder cannot be written"),
                     QStringLiteral("Start Pylvane in a folder you may write, or make this one writable for you."));
    for (const auto& [name, refusal] : {std::pair{EventLog::kFileName, logRefusal},
                                        std::pair{EventLog::pendingFileName(EventLog::kFileName), pendingRefusal}}) {
        if (!refusal.isEmpty())
            check.worsen(Verdict::Fail, QStringLiteral("%1 is %2, which Pylvane refuses to use").arg(name, refusal),
                         QStringLiteral("Remove or rename what stands under that name; Pylvane makes its own file."));
    }
    if (freeBytes >= 0 && freeBytes < kLowSpaceBytes)
        check.worsen(Verdict::Warn, QStringLiteral("the disk is nearly full"),
                     QStringLiteral("Free some space on the disk that holds the working folder."));
    return check;
}

CheckResult DiagnosisChecks::statusFile()
{
    CheckResult check = named("status-file", "Status file");
    const QString folder = StatusFile::defaultFolder();
    QString refused;
    const std::optional<QByteArray> bytes = StatusFile::read(folder, &refused);
    const bool folderThere = QFileInfo(folder).isDir();
    const bool writable = folderThere && canCreateIn(folder);
    check.values = {{QStringLiteral("folder"), shown(folder)},
                    {QStringLiteral("folder_exists"), folderThere},
                    {QStringLiteral("folder_writable"), writable}};
    check.summary = QStringLiteral("folder %1").arg(shown(folder));
    if (!refused.isEmpty()) {
        check.set(Verdict::Fail, check.summary + QStringLiteral(": ") + refused,
                  QStringLiteral("Remove what stands there; Pylvane makes its own private folder and file."));
        return check;
    }
    if (folderThere && !writable)
        check.worsen(Verdict::Fail, QStringLiteral("the folder cannot be written"),
                     QStringLiteral("Make the folder writable for you, or remove it; Pylvane makes it anew."));
    if (!bytes) {
        check.summary += QStringLiteral("; no check has run yet");
        check.values.insert(QStringLiteral("running"), QStringLiteral("unknown"));
        return check;
    }
    // Nothing better tells a running Pylvane of this user's: one that runs rewrites the file after each cycle. It is
    // judged by the rules `--status` applies, so that the two never disagree.
    const StatusCheck::LastCheck last = StatusCheck::lastCheck(*bytes, QDateTime::currentDateTime());
    if (last == StatusCheck::LastCheck::Damaged) {
        check.values.insert(QStringLiteral("running"), QStringLiteral("unknown"));
        check.worsen(Verdict::Warn, QStringLiteral("the status file is damaged"),
                     QStringLiteral("Remove it; a running Pylvane writes it anew after its next check."));
        return check;
    }
    const QJsonObject status = QJsonDocument::fromJson(*bytes).object();
    const qint64 age = secondsSince(QDateTime::fromString(status.value(QStringLiteral("ended")).toString(), Qt::ISODate));
    const bool fresh = last == StatusCheck::LastCheck::Current;
    check.values.insert(QStringLiteral("last_check_age_s"), double(age));
    check.values.insert(QStringLiteral("running"), fresh ? QStringLiteral("probably") : QStringLiteral("probably not"));
    check.summary += QStringLiteral("; last check %1; Pylvane is %2")
                         .arg(ageText(age), fresh ? QStringLiteral("probably running")
                                              : last == StatusCheck::LastCheck::Ahead
                                                  ? QStringLiteral("not known to run (the last check's time lies "
                                                                   "ahead of this computer's clock)")
                                                  : QStringLiteral("probably not running (the next check is overdue)"));
    return check;
}

CheckResult DiagnosisChecks::metrics()
{
    CheckResult check = named("metrics", "Metrics");
    const QString folder = SettingsStore().metricsFolder();
    check.values.insert(QStringLiteral("folder_set"), !folder.isEmpty());
    if (folder.isEmpty()) {
        check.set(Verdict::NotApplicable, QStringLiteral("MetricsFolder is not set"));
        return check;
    }
    struct Found {
        bool isFolder = false;
        bool writable = false;
        std::optional<bool> others;
        qint64 age = -1;
        bool blocked = false; // something other than a file stands at the name, which the writer cannot replace
    };
    // A network share that is gone can hold a file call for minutes; the answer is waited for a bounded time.
    const std::optional<Found> found = withinLimit<Found>(
        [folder] {
            Found f;
            f.isFolder = QFileInfo(folder).isDir();
            if (f.isFolder) {
                f.writable = canCreateIn(folder);
                f.others = DiagnosisSystem::writableByOthers(folder);
                const QFileInfo prom(QDir(folder).filePath(MetricsFile::kFileName));
                if (prom.isFile())
                    f.age = secondsSince(prom.lastModified());
                f.blocked = prom.exists() && !prom.isFile();
            }
            return f;
        },
        kFolderLimitMs);
    check.summary = QStringLiteral("MetricsFolder %1").arg(shown(folder));
    if (!found) {
        check.set(Verdict::Warn,
                  check.summary + QStringLiteral(" did not answer within %1 s").arg(kFolderLimitMs / 1000),
                  QStringLiteral("Check that the share or disk it lies on is reachable."));
        return check;
    }
    check.values.insert(QStringLiteral("is_folder"), found->isFolder);
    check.values.insert(QStringLiteral("writable"), found->writable);
    check.values.insert(QStringLiteral("writable_by_others"), found->others ? QJsonValue(*found->others) : QJsonValue());
    check.values.insert(QStringLiteral("last_file_age_s"), double(found->age));
    if (!found->isFolder) {
        check.set(Verdict::Fail, check.summary + QStringLiteral(" is no folder"),
                  QStringLiteral("Create the folder, or set MetricsFolder to an existing one."));
        return check;
    }
    check.summary += found->age >= 0 ? QStringLiteral(", pylvane.prom written %1").arg(ageText(found->age))
                                     : QStringLiteral(", no pylvane.prom yet");
    if (!found->writable)
        check.worsen(Verdict::Fail, QStringLiteral("the folder cannot be written"),
                     QStringLiteral("Let your user write the folder."));
    if (found->blocked)
        check.worsen(Verdict::Fail, QStringLiteral("pylvane.prom is not a file, and Pylvane cannot replace it"),
                     QStringLiteral("Remove what stands under that name; Pylvane makes its own file."));
    if (found->others.value_or(false))
        check.worsen(Verdict::Warn, QStringLiteral("others may write into the folder"),
                     QStringLiteral("Let only you and the exporter write it (chmod o-w)."));
    return check;
}
