#include "diagnosis/DiagnosisChecks.h"

#include "diagnosis/DiagnosisScope.h"
#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/PrivateNames.h"
#include "eventlog/EventLog.h"
#include "eventlog/KeptEntriesFile.h"
#include "outcome/StatusCheck.h"
#include "outcome/StatusFile.h"
#include "service/StateFolder.h"
#include "probes/EchoRights.h"
#include "probes/EchoStatus.h"
#include "probes/Module1.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLibraryInfo>
#include <QStorageInfo>
#include <QSysInfo>
#include <QTemporaryFile>

using Verdict = CheckResult::Verdict;

namespace {

constexpr qint64 kLowSpaceBytes = 10 * 1024 * 1024;

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

CheckResult DiagnosisChecks::named(const char* id, const char* name)
{
    CheckResult check;
    check.id = QString::fromLatin1(id);
    check.name = QString::fromLatin1(name);
    return check;
}

QString DiagnosisChecks::fewOf(const QStringList& items, int most)
{
    if (items.size() <= most)
        return items.join(QStringLiteral(", "));
    return items.first(most).join(QStringLiteral(", ")) + QStringLiteral(", and %1 more").arg(items.size() - most);
}

QString DiagnosisChecks::removeRemedy(const QString& path, const QString& remedy)
{
    if (DiagnosisSystem::sudoUserOwns(path))
        return QStringLiteral("It is the folder or file of the user who ran sudo, which Pylvane run as root does not "
                              "use: run pylvane --diagnose as that user, without sudo.");
    return remedy;
}

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

CheckResult DiagnosisChecks::log()
{
    CheckResult check = named("log", "Log");
    // Pylvane writes its log in the folder it was started in; this one is where --diagnose was.
    const QString folder = QDir::currentPath();
    const QString logPath = QDir(folder).filePath(EventLog::kFileName);
    const QString pendingPath = EventLog::pendingFileName(logPath);
    const bool writable = canCreateIn(folder);
    const QString logRefusal = DiagnosisSystem::fileRefusal(logPath);
    const QString pendingRefusal = DiagnosisSystem::fileRefusal(pendingPath);
    const QStorageInfo storage(folder);
    const qint64 freeBytes = storage.isValid() ? storage.bytesAvailable() : -1;
    const PrivateNames& names = PrivateNames::here();
    check.values = {{QStringLiteral("folder"), names.folder(folder)},
                    {QStringLiteral("folder_writable"), writable},
                    {QStringLiteral("log_usable"), logRefusal.isEmpty()},
                    {QStringLiteral("pending_usable"), pendingRefusal.isEmpty()},
                    {QStringLiteral("free_mb"), double(freeBytes / (1024 * 1024))}};
    check.summary = QStringLiteral("in the folder --diagnose was started in (%1)").arg(names.folder(folder));
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
    for (const auto& [path, refusal] : {std::pair{logPath, logRefusal}, std::pair{pendingPath, pendingRefusal}}) {
        if (!refusal.isEmpty())
            check.worsen(Verdict::Fail,
                         QStringLiteral("%1 is %2, which Pylvane refuses to use").arg(QFileInfo(path).fileName(), refusal),
                         removeRemedy(path, QStringLiteral("Remove or rename what stands under that name; Pylvane "
                                                           "makes its own file.")));
    }
    if (freeBytes >= 0 && freeBytes < kLowSpaceBytes)
        check.worsen(Verdict::Warn, QStringLiteral("the disk is nearly full"),
                     QStringLiteral("Free some space on the disk that holds the working folder."));
    // Where the Pylvane that runs now writes, when that is another folder.
    QStringList running;
    for (const QString& other : DiagnosisSystem::runningLogFolders())
        if (QDir::cleanPath(other) != QDir::cleanPath(folder))
            running << names.folder(other);
    check.values.insert(QStringLiteral("running_log_folders"), QJsonArray::fromStringList(running));
    if (!running.isEmpty())
        check.summary += QStringLiteral("; the running Pylvane writes its log in ") +
                         running.join(QStringLiteral(", another one writes its log in "));
    return check;
}

CheckResult DiagnosisChecks::statusFile()
{
    CheckResult check = named("status-file", "Status file");
    const QString given = DiagnosisScope::current().stateFolder;
    const QString folder = given.isEmpty() ? StatusFile::defaultFolder() : StateFolder::resolved(given);
    QString refused;
    const std::optional<QByteArray> bytes = StatusFile::read(folder, &refused);
    const bool folderThere = QFileInfo(folder).isDir();
    const bool writable = folderThere && canCreateIn(folder);
    const QString place = PrivateNames::here().folder(folder);
    check.values = {{QStringLiteral("folder"), place},
                    {QStringLiteral("folder_exists"), folderThere},
                    {QStringLiteral("folder_writable"), writable}};
    check.summary = place.startsWith(u'~') ? QStringLiteral("folder ") + place : place;
    if (!refused.isEmpty()) {
        const QString file = QDir(folder).filePath(StatusFile::kFileName);
        check.set(Verdict::Fail, check.summary + QStringLiteral(": ") + refused,
                  removeRemedy(DiagnosisSystem::sudoUserOwns(folder) ? folder : file,
                               QStringLiteral("Remove what stands there; Pylvane makes its own private folder and file.")));
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

CheckResult DiagnosisChecks::logViewer()
{
    // "Open Log" hands the log to the desktop's handler for text files.
    CheckResult check = named("log-viewer", "Open Log");
    const DiagnosisSystem::TextHandler handler = DiagnosisSystem::textHandler();
    check.values.insert(QStringLiteral("text_handler"), handler.name);
    check.values.insert(QStringLiteral("text_handler_runs"), handler.runs);
    const QString openRemedy = QStringLiteral("Install a text editor and make it the program that opens text "
                                              "files, so that Open Log shows the log.");
    if (!handler.opener)
        check.set(Verdict::Warn, QStringLiteral("xdg-open is missing, so Open Log cannot show the log"),
                     QStringLiteral("Install xdg-utils."));
    else if (handler.name.isEmpty())
        check.set(Verdict::Warn, QStringLiteral("no handler for text files, so Open Log cannot show the log"), openRemedy);
    else if (!handler.runs)
        check.set(Verdict::Warn, QStringLiteral("the handler for text files, %1, names a program that is not there")
                                        .arg(handler.name), openRemedy);
    else if (handler.terminal)
        check.set(Verdict::Warn, QStringLiteral("the handler for text files, %1, runs in a terminal, so Open Log "
                                                   "shows nothing where no terminal can open").arg(handler.name),
                     openRemedy);
    else
        check.set(Verdict::Ok, QStringLiteral("text files open with %1").arg(handler.name));
    return check;
}
