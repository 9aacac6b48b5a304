#include "history/HistoryFileCheck.h"

#include "eventlog/WindowsFileChecks.h"
#include "history/HistorySchema.h"

#include <QDir>

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

bool missing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

// A service's history on Windows is read by its own user; `serviceForRoot` is for POSIX's root.
HistoryFileCheck::Result HistoryFileCheck::check(const QString& folder, QString* why, bool /*serviceForRoot*/)
{
    const auto refuse = [why](const char* text) {
        if (why != nullptr)
            *why = QString::fromLatin1(text);
        return Refused;
    };
    // The folder's handle, shared with no one who would delete or rename it, holds it in its place meanwhile.
    const Handle dir(CreateFileW(wide(QDir::toNativeSeparators(folder)), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!dir.valid())
        return missing(GetLastError()) ? Missing : refuse("the history's folder is not a folder of your own");
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(dir.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return refuse("the history's folder is not a folder of your own");
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QString path = QDir::toNativeSeparators(folder + QLatin1Char('/') +
                                                      QString::fromLatin1(HistorySchema::kFileName) +
                                                      QString::fromLatin1(suffix));
        const Handle file(CreateFileW(wide(path), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.valid()) {
            const DWORD error = GetLastError();
            if (missing(error) && *suffix == '\0')
                return Missing;
            if (missing(error))
                continue;
            return refuse("the history file cannot be read");
        }
        if (!GetFileInformationByHandle(file.get(), &info))
            return refuse("the history file cannot be read");
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return refuse("the history file is a link");
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || GetFileType(file.get()) != FILE_TYPE_DISK)
            return refuse("the history file is not a regular file");
        if (!isOwnSingleFile(file.get()))
            return refuse("the history file belongs to another user");
    }
    return Ok;
}
