#include "outcome/StatusFile.h"

#include "eventlog/WindowsFileChecks.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <windows.h>

namespace {

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

// Closes the handle when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (valid())
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// A link or junction in the folder's or the file's place is not followed.
bool isLink(const QFileInfo& info)
{
    return info.isSymLink() || info.isJunction();
}

} // namespace

QString StatusFile::defaultFolder()
{
    QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::fromNativeSeparators(base) + QStringLiteral("/Pylvane");
}

bool StatusFile::prepareFolder(const QString& folder)
{
    QFileInfo info(folder);
    if (!info.exists() && !isLink(info)) {
        // Under the user's profile, whose folders only the user (and the system) may change.
        if (!QDir().mkpath(folder))
            return false;
        info.refresh();
    }
    if (isLink(info) || !info.isDir())
        return false;
    const QFileInfo file(folder + QLatin1Char('/') + kFileName);
    if (isLink(file))
        return false;
    return !file.exists() || file.isFile();
}

bool StatusFile::replace(const QString& from, const QString& to)
{
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

std::optional<QByteArray> StatusFile::read(const QString& folder, QString* refused, bool)
{
    const auto refuse = [refused](const char* why) {
        if (refused != nullptr)
            *refused = QString::fromLatin1(why);
        return std::nullopt;
    };
    // Each of the folder and the file is opened once, never through a link, and judged on its handle, not on its
    // name. The folder's handle, shared with no one who would delete or rename it, holds it in its place while
    // the file is opened inside it.
    const Handle dir(CreateFileW(wide(QDir::toNativeSeparators(folder)), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!dir.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return std::nullopt;
        return refuse("the status folder is not a folder of your own");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(dir.get(), &info))
        return refuse("the status folder is not a folder of your own");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return refuse("the status folder is a link");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return refuse("the status folder is not a folder of your own");

    // A folder in the file's place opens too (FILE_FLAG_BACKUP_SEMANTICS), so that it is told as what it is. The
    // running Pylvane may replace the file meanwhile: this read holds it back in nothing.
    const QString path = QDir::toNativeSeparators(folder + QLatin1Char('/') + kFileName);
    const Handle file(CreateFileW(wide(path), GENERIC_READ | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return std::nullopt;
        return refuse("the status file cannot be read");
    }
    if (!GetFileInformationByHandle(file.get(), &info))
        return refuse("the status file cannot be read");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return refuse("the status file is a link");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || GetFileType(file.get()) != FILE_TYPE_DISK)
        return refuse("the status file is not a regular file");
    if (info.nNumberOfLinks != 1)
        return refuse("the status file has more than one name");
    // What is left of the log writer's checks is the owner.
    if (!isOwnSingleFile(file.get()))
        return refuse("the status file belongs to another user");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return refuse("the status file cannot be read");
    if (size.QuadPart > kMaxSize)
        return refuse("the status file is damaged");

    // One byte more than its size: a file that grew meanwhile is read as damaged.
    QByteArray data(qsizetype(size.QuadPart) + 1, '\0');
    qsizetype total = 0;
    DWORD got = 0;
    bool failed = false;
    while (total < data.size()) {
        if (!ReadFile(file.get(), data.data() + total, DWORD(data.size() - total), &got, nullptr)) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        total += qsizetype(got);
    }
    if (failed)
        return refuse("the status file cannot be read");
    if (total > size.QuadPart)
        return refuse("the status file is damaged");
    data.truncate(total);
    return data;
}
