#include "diagnosis/DiagnosisSystem.h"

#include "diagnosis/WithinLimit.h"
#include "eventlog/WindowsFileChecks.h"
#include "probes/EchoRights.h"
#include "probes/ProcessSnapshot.h"
#include "probes/WmiProcessNames.h"
#include "settings/SettingsStore.h"
#include "systemlog/EventLogEvents.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QDateTime>

#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <iterator>
#include <string>

using Verdict = CheckResult::Verdict;

namespace {

constexpr int kServiceLimitMs = 1'500;
constexpr qint64 kSlowQueryMs = 1'000;

const wchar_t* wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

CheckResult named(const char* id, const char* name)
{
    CheckResult check;
    check.id = QString::fromLatin1(id);
    check.name = QString::fromLatin1(name);
    return check;
}

// A string value of the registry, nothing when missing. RRF_RT_REG_SZ also takes a REG_EXPAND_SZ value, with its
// variables expanded.
std::optional<QString> registryText(HKEY root, const QString& key, const QString& value)
{
    DWORD size = 0;
    if (RegGetValueW(root, wide(key), wide(value), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0)
        return std::nullopt;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(root, wide(key), wide(value), RRF_RT_REG_SZ, nullptr, data.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return QString::fromWCharArray(data.c_str());
}

QString ownExecutable()
{
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, DWORD(std::size(path)));
    return QString::fromWCharArray(path, int(length));
}

} // namespace

bool DiagnosisSystem::prepareDisplay()
{
    return true; // Windows always has its desktop, also for a program started from a console.
}

QString DiagnosisSystem::installKind(const QString& executable)
{
    // Where the per-user installer puts the program: %LOCALAPPDATA%\Programs\Pylvane.
    const QString installed = QDir::cleanPath(qEnvironmentVariable("LOCALAPPDATA") + QStringLiteral("/Programs/Pylvane"));
    if (!qEnvironmentVariableIsEmpty("LOCALAPPDATA") &&
        QFileInfo(executable).absolutePath().compare(installed, Qt::CaseInsensitive) == 0)
        return QStringLiteral("installed by the MSI installer");
    return QStringLiteral("a portable copy (not installed)");
}

QString DiagnosisSystem::echoWay()
{
    if (!echoAllowed())
        return {};
    return QStringLiteral("echo through Windows' ICMP helper (IcmpSendEcho)");
}

std::optional<int> DiagnosisSystem::processCount()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return std::nullopt;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        ++count;
    CloseHandle(snapshot);
    return count > 0 ? std::optional<int>(count) : std::nullopt;
}

std::optional<bool> DiagnosisSystem::tableHasImage(const QString& name)
{
    // The table the cycle falls back to; the management service is asked on its own line, with its own limit.
    return ProcessSnapshot::exeRunning(name.toUtf8().toStdString());
}

CheckResult DiagnosisSystem::managementService()
{
    CheckResult check = named("management-service", "Management service");
    const std::string self = QFileInfo(ownExecutable()).fileName().toUtf8().toStdString();
    struct Answer {
        std::optional<bool> found;
        qint64 ms = 0;
        bool apartment = false;
    };
    // On a thread of its own in the multithreaded apartment, as the cycle asks it, and waited for a bounded time.
    const std::optional<Answer> answer = withinLimit<Answer>(
        [self] {
            Answer a;
            const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            a.apartment = SUCCEEDED(apartment);
            QElapsedTimer clock;
            clock.start();
            if (a.apartment)
                a.found = WmiProcessNames().exeRunning(self);
            a.ms = clock.elapsed();
            if (a.apartment)
                CoUninitialize();
            return a;
        },
        kServiceLimitMs);
    const std::optional<bool> table = ProcessSnapshot::exeRunning(self);
    check.values.insert(QStringLiteral("table_found_own_image"), table ? QJsonValue(*table) : QJsonValue());
    const QString tableText = table.value_or(false) ? QStringLiteral("the process table, which the cycle falls back to, "
                                                                     "finds Pylvane's own image")
                                                    : QStringLiteral("the process table, which the cycle falls back "
                                                                     "to, does not find Pylvane's own image");
    if (!answer) {
        check.values.insert(QStringLiteral("answered"), false);
        check.set(Verdict::Warn,
                  QStringLiteral("WMI did not answer within %1 s; ").arg(kServiceLimitMs / 1000.0) + tableText,
                  QStringLiteral("Restart the service \"Windows Management Instrumentation\"; until then each process "
                                 "target waits for it."));
        return check;
    }
    check.values.insert(QStringLiteral("answered"), answer->found.has_value());
    check.values.insert(QStringLiteral("query_ms"), double(answer->ms));
    if (!answer->found.has_value()) {
        check.set(Verdict::Warn, QStringLiteral("WMI could not be asked; ") + tableText,
                  QStringLiteral("Check that the service \"Windows Management Instrumentation\" runs."));
    } else if (answer->ms > kSlowQueryMs) {
        check.set(Verdict::Warn,
                  QStringLiteral("WMI answered in %1 ms; each process target costs two such queries per cycle; ")
                      .arg(answer->ms) + tableText,
                  QStringLiteral("Check what keeps the service \"Windows Management Instrumentation\" busy."));
    } else {
        check.set(Verdict::Ok, QStringLiteral("WMI connected and answered in %1 ms; ").arg(answer->ms) + tableText);
    }
    return check;
}

DiagnosisSystem::SettingsPlace DiagnosisSystem::settingsPlace()
{
    SettingsPlace place;
    place.shown = QStringLiteral("HKEY_CURRENT_USER\\") + SettingsStore::defaultLocation();
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, wide(SettingsStore::defaultLocation()), 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
        place.state = SettingsPlace::Read;
        // A value of a type the load cannot read (neither text nor a number) counts as damaged.
        for (const QString& name : SettingsStore::valueNames()) {
            DWORD type = 0;
            if (RegQueryValueExW(key, wide(name), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
                type != REG_SZ && type != REG_EXPAND_SZ && type != REG_DWORD && type != REG_QWORD)
                place.unreadable << name;
        }
        RegCloseKey(key);
    } else {
        place.state = status == ERROR_FILE_NOT_FOUND ? SettingsPlace::Missing : SettingsPlace::Refused;
    }
    return place;
}

QString DiagnosisSystem::fileRefusal(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    const DWORD attributes = GetFileAttributesW(wide(native));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return QStringLiteral("a link (a reparse point)");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return QStringLiteral("a folder");
    const HANDLE handle = CreateFileW(wide(native), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return QStringLiteral("a file that cannot be looked at");
    const bool own = isOwnSingleFile(handle);
    CloseHandle(handle);
    return own ? QString() : QStringLiteral("another user's file, or one with more than one name");
}

std::optional<bool> DiagnosisSystem::writableByOthers(const QString&)
{
    return std::nullopt; // Access lists tell this on Windows, which the check does not read.
}

CheckResult DiagnosisSystem::systemLog()
{
    CheckResult check = named("system-log", "System log");
    const QString key = QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pylvane");
    const std::optional<QString> registered = registryText(HKEY_LOCAL_MACHINE, key, QStringLiteral("EventMessageFile"));
    const QString self = QDir::toNativeSeparators(ownExecutable());
    const bool namesThis = registered && QDir::toNativeSeparators(*registered).compare(self, Qt::CaseInsensitive) == 0;
    check.values = {{QStringLiteral("source_registered"), registered.has_value()},
                    {QStringLiteral("source_names_this_program"), namesThis}};
    EventLogEvents events;
    events.diagnosis(QStringLiteral(PYLVANE_VERSION));
    const QString written = QStringLiteral("one event of the diagnosis written to the Application log, source Pylvane");
    const QString remedy =
        QStringLiteral("As administrator, run \"pylvane.exe --register-event-source\" so that Event Viewer shows "
                       "Pylvane's sentences.");
    if (!registered)
        check.set(Verdict::Warn, QStringLiteral("the event source Pylvane is not registered; ") + written, remedy);
    else if (!namesThis)
        check.set(Verdict::Warn, QStringLiteral("the event source Pylvane names another pylvane.exe; ") + written,
                  remedy);
    else
        check.set(Verdict::Ok, QStringLiteral("the event source Pylvane names this program; ") + written);
    return check;
}

CheckResult DiagnosisSystem::autostart()
{
    CheckResult check = named("autostart", "Start at sign-in");
    const QString link = qEnvironmentVariable("APPDATA") +
                         QStringLiteral("\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Pylvane.lnk");
    const bool there = !qEnvironmentVariableIsEmpty("APPDATA") && QFileInfo::exists(link);
    check.values = {{QStringLiteral("startup_shortcut"), there}};
    check.summary = there ? QStringLiteral("Pylvane starts at sign-in: %1").arg(link)
                          : QStringLiteral("Pylvane does not start at sign-in (no Startup shortcut)");
    check.verdict = Verdict::Info;
    return check;
}

PrivateNames::Found DiagnosisSystem::privateNames()
{
    PrivateNames::Found found;
    found.homes << qEnvironmentVariable("USERPROFILE") << QDir::homePath();
    if (!qEnvironmentVariableIsEmpty("HOMEDRIVE") && !qEnvironmentVariableIsEmpty("HOMEPATH"))
        found.homes << qEnvironmentVariable("HOMEDRIVE") + qEnvironmentVariable("HOMEPATH");
    found.users << qEnvironmentVariable("USERNAME");
    wchar_t name[256] = {};
    DWORD size = DWORD(std::size(name));
    if (GetUserNameW(name, &size) != 0)
        found.users << QString::fromWCharArray(name);
    found.hosts << qEnvironmentVariable("COMPUTERNAME");
    for (const COMPUTER_NAME_FORMAT format :
         {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified, ComputerNamePhysicalDnsHostname,
          ComputerNamePhysicalDnsFullyQualified}) {
        wchar_t host[512] = {};
        DWORD length = DWORD(std::size(host));
        if (GetComputerNameExW(format, host, &length) != 0)
            found.hosts << QString::fromWCharArray(host, int(length));
    }
    return found;
}

QString DiagnosisSystem::folderKind(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("a folder that is not there yet");
    // Who may write it is told by its access list, which the check does not read.
    return info.isDir() ? QStringLiteral("a folder outside your profile") : QStringLiteral("something that is no folder");
}

bool DiagnosisSystem::sudoUserOwns(const QString&)
{
    return false; // Windows has no sudo whose user's files an administrator's run would meet.
}

DiagnosisSystem::MetricsPlace DiagnosisSystem::metricsPlace(const QString& folder)
{
    using Status = MetricsFile::Status;
    MetricsPlace place;
    const QFileInfo info(folder);
    if (!info.exists()) {
        place.status = Status::FolderMissing;
        return place;
    }
    if (!info.isDir()) {
        place.status = Status::NotAFolder;
        return place;
    }
    place.kind = QStringLiteral("a folder");
    QTemporaryFile probe(folder + QStringLiteral("/.pylvane-diagnosis-XXXXXX"));
    if (!probe.open())
        place.status = Status::NotWritable;
    // The writer's rename replaces a file or a link at the name, but not a folder.
    const QString name = QDir(folder).filePath(MetricsFile::kFileName);
    const DWORD attributes = GetFileAttributesW(wide(QDir::toNativeSeparators(name)));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return place;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        place.standing = QStringLiteral("a link");
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        place.status = Status::FileRefused;
    else
        place.age = QFileInfo(name).lastModified().secsTo(QDateTime::currentDateTime());
    return place;
}
