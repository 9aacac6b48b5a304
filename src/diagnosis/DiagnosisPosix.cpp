#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/SmallFilePosix.h"
#include "eventlog/PosixFileChecks.h"

#include "probes/IcmpSocket.h"
#include "probes/ProcessTable.h"
#include "settings/IniText.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "systemlog/JournalEvents.h"
#include "systemlog/SystemEvent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using Verdict = CheckResult::Verdict;

bool DiagnosisSystem::prepareDisplay()
{
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (!chosen.isEmpty())
        return display || chosen.startsWith("offscreen") || chosen.startsWith("minimal");
    // A display that names a server which is gone would end the program in Qt's start; offscreen stands in.
    if (display)
        qputenv("QT_QPA_PLATFORM",
                qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
    return display;
}

QString DiagnosisSystem::installKind(const QString& executable)
{
    if (executable == QStringLiteral("/usr/bin/pylvane") &&
        QFileInfo::exists(QStringLiteral("/var/lib/dpkg/info/pylvane.list")))
        return QStringLiteral("installed from the Debian package");
    const QString prefix = QFileInfo(QFileInfo(executable).absolutePath()).absolutePath();
    if (QFileInfo::exists(prefix + QStringLiteral("/share/pylvane/install-manifest.txt")))
        return QStringLiteral("installed by make install under %1").arg(prefix);
    return QStringLiteral("run from a build folder or a copy of its own");
}

QString DiagnosisSystem::echoWay()
{
    const IcmpSocket socket;
    switch (socket.kind()) {
    case IcmpSocket::Kind::Datagram:
        return QStringLiteral("echo through the unprivileged ICMP socket (net.ipv4.ping_group_range)");
    case IcmpSocket::Kind::Raw:
        return ::geteuid() == 0 ? QStringLiteral("echo through a raw socket, as root")
                                : QStringLiteral("echo through a raw socket (cap_net_raw)");
    case IcmpSocket::Kind::None:
        break;
    }
    return {};
}

std::optional<int> DiagnosisSystem::processCount()
{
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return std::nullopt;
    int count = 0;
    while (const dirent* entry = ::readdir(proc)) {
        const char* name = entry->d_name;
        bool digits = *name != '\0';
        for (; *name != '\0'; ++name)
            digits = digits && *name >= '0' && *name <= '9';
        count += digits ? 1 : 0;
    }
    ::closedir(proc);
    // This process runs, so an empty list was not read.
    return count > 0 ? std::optional<int>(count) : std::nullopt;
}

std::optional<bool> DiagnosisSystem::tableHasImage(const QString& name)
{
    return exeRunning(name.toUtf8().toStdString());
}

CheckResult DiagnosisSystem::managementService()
{
    CheckResult check;
    check.id = QStringLiteral("management-service");
    check.name = QStringLiteral("Management service");
    check.set(Verdict::NotApplicable, QStringLiteral("Windows only; here processes are read from /proc"));
    return check;
}

DiagnosisSystem::SettingsPlace DiagnosisSystem::settingsPlace()
{
    const QString path = SettingsStore::defaultLocation();
    const SettingsFile::Contents contents = SettingsFile::read(path);
    SettingsPlace place =
        iniSettingsPlace(PrivateNames::here().file(path), contents.bytes,
                         contents.state == SettingsFile::State::Read      ? SettingsPlace::Read
                         : contents.state == SettingsFile::State::Missing ? SettingsPlace::Missing
                                                                          : SettingsPlace::Refused);
    if (qEnvironmentVariableIsEmpty("HOME") && qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
        place.note = QStringLiteral("HOME is unset, so the settings are read from ") + QDir::cleanPath(path) +
                     QStringLiteral(", not from your home folder");
    return place;
}

QString DiagnosisSystem::fileRefusal(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? QString() : QStringLiteral("a file that cannot be looked at");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a folder");
    // The log writer's own rule decides; the rest only says which part of it fails.
    if (isOwnSingleFile(st))
        return {};
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("no regular file");
    if (st.st_uid != ::geteuid())
        return QStringLiteral("another user's file");
    return QStringLiteral("a file with more than one name (a hard link)");
}

std::optional<bool> DiagnosisSystem::writableByOthers(const QString& folder)
{
    // Followed when a link: an administrator may well link the exporter's folder.
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return std::nullopt;
    return (st.st_mode & S_IWOTH) != 0;
}

CheckResult DiagnosisSystem::systemLog()
{
    CheckResult check;
    check.id = QStringLiteral("system-log");
    check.name = QStringLiteral("System log");
    JournalEvents events;
    events.diagnosis(QStringLiteral(PYLVANE_VERSION));
    const char* id = messageIdOf(SystemEventKind::Diagnosis);
    switch (events.lastOutcome()) {
    case JournalEvents::Outcome::Journal:
        check.values = {{QStringLiteral("journal"), true}, {QStringLiteral("message_id"), QString::fromLatin1(id)}};
        check.set(Verdict::Ok, QStringLiteral("the journal took one event of the diagnosis; see it with "
                                              "\"journalctl -t pylvane MESSAGE_ID=%1\"")
                                   .arg(QString::fromLatin1(id)));
        break;
    case JournalEvents::Outcome::Syslog:
        check.values = {{QStringLiteral("journal"), false}, {QStringLiteral("syslog"), true}};
        check.set(Verdict::Ok, QStringLiteral("no journal at %1; syslog (%2) took one event of the diagnosis, "
                                              "tagged pylvane")
                                   .arg(QString::fromLatin1(JournalEvents::kJournalSocket),
                                        QString::fromLatin1(JournalEvents::kSyslogSocket)));
        break;
    case JournalEvents::Outcome::Dropped:
        check.values = {{QStringLiteral("journal"), false}, {QStringLiteral("syslog"), false}};
        check.set(
            Verdict::Warn,
            QStringLiteral("neither the journal (%1) nor syslog (%2) took an event, so Pylvane's events are lost")
                .arg(QString::fromLatin1(JournalEvents::kJournalSocket),
                     QString::fromLatin1(JournalEvents::kSyslogSocket)),
            QStringLiteral("Run systemd-journald or a syslog daemon to keep them; the plain log is not affected."));
        break;
    }
    return check;
}

CheckResult DiagnosisSystem::autostart()
{
    CheckResult check;
    check.id = QStringLiteral("autostart");
    check.name = QStringLiteral("Start at sign-in");
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    const QString own = QDir::cleanPath(config + QStringLiteral("/autostart/pylvane.desktop"));
    QStringList systemDirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts);
    if (systemDirs.isEmpty())
        systemDirs << QStringLiteral("/etc/xdg");
    QString system;
    for (const QString& dir : systemDirs) {
        if (QFileInfo::exists(dir + QStringLiteral("/autostart/pylvane.desktop")))
            system = dir + QStringLiteral("/autostart/pylvane.desktop");
    }
    const bool ownThere = QFileInfo(own).isFile();
    check.values = {{QStringLiteral("user_entry"), ownThere}, {QStringLiteral("system_entry"), !system.isEmpty()}};
    if (ownThere)
        check.summary = QStringLiteral("Pylvane starts at sign-in: %1").arg(own);
    else if (!system.isEmpty())
        check.summary = QStringLiteral("Pylvane starts at sign-in for every user: %1").arg(system);
    else
        check.summary = QStringLiteral("Pylvane does not start at sign-in (no autostart entry)");
    check.verdict = Verdict::Info;
    return check;
}

namespace {

QString homeOf(const passwd* account)
{
    return account != nullptr && account->pw_dir != nullptr ? QFile::decodeName(account->pw_dir) : QString();
}

QString nameOf(const passwd* account)
{
    return account != nullptr && account->pw_name != nullptr ? QFile::decodeName(account->pw_name) : QString();
}

} // namespace

PrivateNames::Found DiagnosisSystem::privateNames()
{
    PrivateNames::Found found;
    found.homes << qEnvironmentVariable("HOME");
    // getpwuid_r is not needed: the names are gathered once, before any thread of the diagnosis asks for them.
    const passwd* own = ::getpwuid(::geteuid());
    found.homes << homeOf(own);
    found.users << nameOf(own);
    if (::getuid() != ::geteuid()) {
        const passwd* real = ::getpwuid(::getuid());
        found.homes << homeOf(real);
        found.users << nameOf(real);
    }
    for (const QString& home : QStringList(found.homes))
        if (!home.isEmpty())
            found.homes << QFileInfo(home).canonicalFilePath();
    found.users << qEnvironmentVariable("USER") << qEnvironmentVariable("LOGNAME");
    const QString sudo = qEnvironmentVariable("SUDO_USER");
    if (!sudo.isEmpty()) {
        found.users << sudo;
        const passwd* account = ::getpwnam(QFile::encodeName(sudo).constData());
        found.sudoHomes << homeOf(account);
        if (!homeOf(account).isEmpty())
            found.sudoHomes << QFileInfo(homeOf(account)).canonicalFilePath();
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        found.hosts << QString::fromLocal8Bit(host);
    // The full name, which the system's own name may lack, as the hosts file gives it; no name service is asked,
    // as that may wait on the network.
    const QString shortHost = QString::fromLocal8Bit(host).section(u'.', 0, 0);
    for (const QByteArray& line : smallFile(QStringLiteral("/etc/hosts"), 1 << 20).split('\n')) {
        const QList<QByteArray> fields = line.left(line.indexOf('#')).simplified().split(' ');
        for (qsizetype i = 1; i < fields.size(); ++i)
            if (!shortHost.isEmpty() &&
                QString::fromLocal8Bit(fields[i]).section(u'.', 0, 0).compare(shortHost, Qt::CaseInsensitive) == 0)
                found.hosts << QString::fromLocal8Bit(fields[i]);
    }
    for (const char* file : {"/etc/hostname", "/proc/sys/kernel/hostname"})
        found.hosts << QString::fromLocal8Bit(smallFile(QString::fromLatin1(file), 4096).trimmed());
    return found;
}

QString DiagnosisSystem::folderKind(const QString& folder)
{
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("a folder that is not there yet")
                               : QStringLiteral("a folder that cannot be looked at");
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("something that is no folder");
    if ((st.st_mode & S_IWOTH) != 0)
        return (st.st_mode & S_ISVTX) != 0 ? QStringLiteral("a shared folder with its sticky bit")
                                           : QStringLiteral("a shared folder anyone may write");
    if (st.st_uid == ::geteuid())
        return QStringLiteral("a folder of yours");
    return st.st_uid == 0 ? QStringLiteral("a system folder") : QStringLiteral("another user's folder");
}

bool DiagnosisSystem::sudoUserOwns(const QString& path)
{
    bool number = false;
    const uint sudoUid = qEnvironmentVariable("SUDO_UID").toUInt(&number);
    struct stat st;
    return ::geteuid() == 0 && number && sudoUid != 0 &&
           ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid == sudoUid;
}

DiagnosisSystem::MetricsPlace DiagnosisSystem::metricsPlace(const QString& folder)
{
    using Status = MetricsFile::Status;
    MetricsPlace place;
    // As the writer opens it: followed when a link, for paths only.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat folderStat;
    if (dir < 0 || ::fstat(dir, &folderStat) != 0) {
        place.status = errno == ENOENT ? Status::FolderMissing : errno == ENOTDIR ? Status::NotAFolder : Status::NotWritable;
        if (dir >= 0)
            ::close(dir);
        return place;
    }
    const bool sticky = (folderStat.st_mode & S_ISVTX) != 0;
    place.groupWritable = (folderStat.st_mode & S_IWGRP) != 0;
    place.othersWritable = (folderStat.st_mode & S_IWOTH) != 0;
    place.kind = place.othersWritable ? (sticky ? QStringLiteral("a shared folder with its sticky bit")
                                                : QStringLiteral("a shared folder anyone may write"))
                 : folderStat.st_uid == ::geteuid() ? QStringLiteral("a folder of yours")
                 : folderStat.st_uid == 0           ? QStringLiteral("a system folder")
                                                    : QStringLiteral("another user's folder");
    if (!place.othersWritable)
        place.kind += place.groupWritable ? QStringLiteral(", writable by its group")
                                          : QStringLiteral(", not writable by others");
    // The writer's own temporary file, made new and gone at once: the mode bits do not tell for root, for
    // access lists or for a read-only mount.
    const QByteArray probe = QFile::encodeName(MetricsFile::temporaryName(::getpid()));
    const int fd = ::openat(dir, probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        place.status = errno == ENOSPC || errno == EDQUOT ? Status::DiskFull : Status::NotWritable;
    } else {
        ::close(fd);
        ::unlinkat(dir, probe.constData(), 0);
    }
    struct stat st;
    const QByteArray name = QFile::encodeName(MetricsFile::kFileName);
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // In a folder with the sticky bit only the owner of a name, of the folder, or root may replace it.
        const bool others = st.st_uid != ::geteuid();
        if (S_ISDIR(st.st_mode))
            place.status = Status::FileRefused;
        else if (sticky && others && folderStat.st_uid != ::geteuid() && ::geteuid() != 0)
            place.stickyBlocked = true;
        else if (S_ISREG(st.st_mode) && !others)
            place.age = qint64(::time(nullptr)) - qint64(st.st_mtime);
        else
            place.standing = S_ISLNK(st.st_mode) ? QStringLiteral("a link")
                             : S_ISREG(st.st_mode) ? QStringLiteral("another user's file")
                                                   : QStringLiteral("something other than a file");
    }
    ::close(dir);
    return place;
}
