#include "history/HistoryFiles.h"

#include "eventlog/WindowsFileChecks.h"
#include "history/HistorySchema.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace {

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

// Each name is opened once, never through a link, and judged on its handle, as the status file's reader does.
QString fileProblem(const QString& folder, const QString& name)
{
    const QString path = QDir::toNativeSeparators(folder + QLatin1Char('/') + name);
    const HANDLE file = CreateFileW(wide(path), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? QString() : name + QStringLiteral(" cannot be looked at");
    }
    QString problem;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        problem = name + QStringLiteral(" cannot be looked at");
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        problem = name + QStringLiteral(" is a link");
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        problem = name + QStringLiteral(" is a folder");
    else if (GetFileType(file) != FILE_TYPE_DISK)
        problem = name + QStringLiteral(" is not a regular file");
    else if (info.nNumberOfLinks != 1)
        problem = name + QStringLiteral(" has more than one name");
    else if (!isOwnSingleFile(file))
        problem = name + QStringLiteral(" belongs to another user");
    CloseHandle(file);
    return problem;
}

QString folderProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || info.isJunction())
        return QStringLiteral("the state folder is a link");
    if (!info.isDir())
        return QStringLiteral("the state folder is not a folder");
    return {};
}

QString judgeNames(const QString& folder)
{
    for (const QString& name : HistoryFiles::names()) {
        const QString problem = fileProblem(folder, name);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

bool moveFile(const QString& from, const QString& to)
{
    return MoveFileExW(wide(QDir::toNativeSeparators(from)), wide(QDir::toNativeSeparators(to)), 0) != 0;
}

} // namespace

QString HistoryFiles::prepare(const QString& folder)
{
    const QFileInfo info(folder);
    // Under the user's profile, whose folders only the user (and the system) may change.
    if (!info.exists() && !info.isSymLink() && !info.isJunction() && !QDir().mkpath(folder))
        return QStringLiteral("the state folder cannot be made");
    const QString problem = folderProblem(folder);
    return problem.isEmpty() ? judgeNames(folder) : problem;
}

QString HistoryFiles::judge(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists() && !info.isSymLink() && !info.isJunction())
        return {};
    const QString problem = folderProblem(folder);
    return problem.isEmpty() ? judgeNames(folder) : problem;
}

bool HistoryFiles::setAside(const QString& folder, const QString& stamp)
{
    const QString base = folder + QLatin1Char('/') + QString::fromLatin1(HistorySchema::kFileName);
    const QString aside = base + QStringLiteral(".damaged-") + stamp;
    // The companions first: a -wal left beside a new database would be played into it.
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (!moveFile(base + suffix, aside + suffix) && GetLastError() != ERROR_FILE_NOT_FOUND)
            DeleteFileW(wide(QDir::toNativeSeparators(base + suffix)));
    }
    return moveFile(base, aside) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
