#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/SmallFilePosix.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <dirent.h>

namespace {

QStringList searchPath(const char* variable, const QString& fallback)
{
    const QStringList dirs = qEnvironmentVariable(variable).split(u':', Qt::SkipEmptyParts);
    return dirs.isEmpty() ? fallback.split(u':') : dirs;
}

QString userBase(const char* variable, const QString& belowHome)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() || QDir::isRelativePath(value) ? QDir::homePath() + belowHome : value;
}

// The desktop entry `id` as the data folders hold it ("org-gnome-foo.desktop" may stand in a folder "org/"),
// when it is there and not hidden.
QByteArray desktopEntry(const QStringList& dataDirs, const QString& id)
{
    for (const QString& dir : dataDirs) {
        for (const QString& name : {id, QString(id).replace(u'-', u'/')}) {
            const QByteArray entry = smallFile(dir + QStringLiteral("/applications/") + name, 1 << 20);
            if (!entry.isEmpty())
                return entry.contains("\nHidden=true") ? QByteArray() : entry;
        }
    }
    return {};
}

QByteArray entryValue(const QByteArray& entry, const QByteArray& key)
{
    for (const QByteArray& line : entry.split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1).trimmed();
    return {};
}

} // namespace

DiagnosisSystem::TextHandler DiagnosisSystem::textHandler()
{
    TextHandler handler;
    handler.opener = !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
    const QStringList configDirs = QStringList{userBase("XDG_CONFIG_HOME", QStringLiteral("/.config"))} +
                                   searchPath("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    const QStringList dataDirs = QStringList{userBase("XDG_DATA_HOME", QStringLiteral("/.local/share"))} +
                                 searchPath("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    // The association lists in the order the shared rules of the desktops give, each desktop's own first.
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    QStringList lists;
    for (const QString& folder : configDirs + [&dataDirs] {
             QStringList applications;
             for (const QString& dir : dataDirs)
                 applications << dir + QStringLiteral("/applications");
             return applications;
         }()) {
        for (const QString& desktop : desktops)
            lists << folder + u'/' + desktop + QStringLiteral("-mimeapps.list");
        lists << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString& dir : dataDirs)
        lists << dir + QStringLiteral("/applications/mimeinfo.cache");
    // The first candidate whose entry is there: the defaults, then those added, then the installed ones.
    for (const char* section : {"[Default Applications]", "[Added Associations]", "[MIME Cache]"}) {
        for (const QString& list : lists) {
            QByteArray current;
            for (const QByteArray& raw : smallFile(list, 8 << 20).split('\n')) {
                const QByteArray line = raw.trimmed();
                if (line.startsWith('['))
                    current = line;
                if (current != section || !line.startsWith("text/plain="))
                    continue;
                for (const QByteArray& id : line.mid(11).split(';')) {
                    const QString name = QString::fromUtf8(id.trimmed());
                    const QByteArray entry = name.isEmpty() ? QByteArray() : desktopEntry(dataDirs, name);
                    if (entry.isEmpty())
                        continue;
                    handler.name = name;
                    handler.terminal = entryValue(entry, "Terminal") == "true";
                    QByteArray exec = entryValue(entry, "TryExec");
                    if (exec.isEmpty())
                        exec = entryValue(entry, "Exec").split(' ').value(0);
                    const QString program = QString::fromUtf8(exec).remove(u'"');
                    handler.runs = !program.isEmpty() &&
                                   (QDir::isAbsolutePath(program) ? QFileInfo(program).isExecutable()
                                                                  : !QStandardPaths::findExecutable(program).isEmpty());
                    return handler;
                }
            }
        }
    }
    return handler;
}

QStringList DiagnosisSystem::runningLogFolders()
{
    QStringList folders;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return folders;
    // The name the kernel keeps for a process, cut at 15 bytes.
    const QByteArray self = QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()).left(15);
    while (const dirent* entry = ::readdir(proc)) {
        bool number = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&number);
        const QString base = QStringLiteral("/proc/") + QString::fromLatin1(entry->d_name);
        struct stat st;
        if (!number || pid == qint64(::getpid()) || ::stat(QFile::encodeName(base).constData(), &st) != 0 ||
            st.st_uid != ::geteuid() || smallFile(base + QStringLiteral("/comm"), 4096).trimmed() != self)
            continue;
        // One started with an option of its own (--status, --diagnose) writes no log.
        const QList<QByteArray> arguments = smallFile(base + QStringLiteral("/cmdline"), 1 << 16).split('\0');
        if (std::any_of(arguments.begin() + qMin<qsizetype>(1, arguments.size()), arguments.end(),
                        [](const QByteArray& argument) { return argument.startsWith("--"); }))
            continue;
        const QString cwd = QFile::symLinkTarget(base + QStringLiteral("/cwd"));
        if (!cwd.isEmpty() && !folders.contains(cwd))
            folders << cwd;
    }
    ::closedir(proc);
    return folders;
}
