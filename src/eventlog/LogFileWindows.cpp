#include "eventlog/LogFile.h"

#include "eventlog/WindowsFileChecks.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <cwchar>
#include <string>
#include <thread>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

// Windows cannot replace a file while it is open, so the log is closed before its copy takes its
// place, and a lock on the log itself would be given up just before the replace: another writer
// could then read the old contents and later put them back without the entry just added. The lock
// is therefore held on a side file (".<name>.lock" beside the log) that is never deleted; the
// system releases it when its holder dies. A writer that can neither create nor open that file
// (a folder it may not write, which no writer has written yet) locks a byte far beyond the end of
// the log instead, and every writer takes that lock too while it has the log open. Such a writer
// can only rewrite in place, and the handle it keeps open meanwhile makes a replace fail rather
// than pass over its entry.

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(2);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Far beyond any log, so that the byte range lock, which Windows enforces on reads and writes,
// never meets the contents.
constexpr DWORD kGuardOffsetHigh = 0x7fffffff;
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::wstring wide(const QString& text)
{
    return text.toStdWString();
}

void closeHandle(HANDLE& handle)
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

// Tries the lock once: Held when another handle holds it.
enum class Try { Taken, Held, Failed };
Try tryLock(HANDLE handle, DWORD offsetHigh)
{
    OVERLAPPED at{};
    at.OffsetHigh = offsetHigh;
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return Try::Taken;
    const DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? Try::Held : Try::Failed;
}

LogFile::Lock lockUntil(HANDLE handle, DWORD offsetHigh, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        switch (tryLock(handle, offsetHigh)) {
        case Try::Taken:
            return LogFile::Lock::Taken;
        case Try::Failed:
            return LogFile::Lock::Failed;
        case Try::Held:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return LogFile::Lock::Busy;
        std::this_thread::sleep_for(kPollInterval);
    }
}

// Devices (NUL, CON, COM1, ...), pipes and the like are reached through names that are no disk
// file; opening one can have effects of its own, so such names are refused before any open.
bool inDeviceSpace(const wchar_t* path)
{
    return std::wcsncmp(path, L"\\\\.\\", 4) == 0 || std::wcsncmp(path, L"//./", 4) == 0;
}

bool isDiskFileName(const std::wstring& path)
{
    if (inDeviceSpace(path.c_str()))
        return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    // A link is refused by what the open finds as well; the name is asked too, as some systems (Wine)
    // follow a link even when told to open the link itself.
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    // Not there yet, or a device: the full path of a device name is the device itself.
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return false;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return !inDeviceSpace(full.c_str());
}

bool isDiskFile(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isReparsePoint(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return !GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The path of the file behind the handle, links followed; empty when the system cannot say.
std::wstring finalPath(HANDLE handle)
{
    const DWORD size = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0)
        return {};
    std::wstring path(size, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= size)
        return {};
    path.resize(length);
    return path;
}

bool writeAll(HANDLE handle, const char* data, qint64 size, qint64 offset, bool positioned)
{
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset & 0xffffffff);
        at.OffsetHigh = DWORD(offset >> 32);
        const DWORD chunk = DWORD(qMin<qint64>(size, 1 << 30));
        DWORD done = 0;
        if (!WriteFile(handle, data, chunk, &done, positioned ? &at : nullptr) || done == 0)
            return false;
        data += done;
        size -= done;
        offset += done;
    }
    return true;
}

bool truncateAt(HANDLE handle, qint64 size)
{
    LARGE_INTEGER at{};
    at.QuadPart = size;
    return SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
}

} // namespace

struct LogFile::Handles {
    std::wstring path;
    HANDLE lock = INVALID_HANDLE_VALUE; // the side lock file, holding the lock
    HANDLE log = INVALID_HANDLE_VALUE;  // the log, open for reading; owned by `fd` once that exists
    int fd = -1;
    qint64 logSize = 0;
    DWORD attributes = 0;
    std::wstring realPath; // the log by its full name
    QFile reader;

    HANDLE out = INVALID_HANDLE_VALUE; // the replacement copy, or the log itself when rewritten in place
    bool inPlace = false;
    std::wstring copyPath;
    QByteArray newContents; // held back until commit when rewriting in place

    void closeLog()
    {
        reader.close();
        if (fd >= 0)
            _close(fd); // closes the handle as well
        else
            closeHandle(log);
        fd = -1;
        log = INVALID_HANDLE_VALUE;
    }
    void unlock()
    {
        closeLog();
        closeHandle(lock);
    }
    void dropRewrite()
    {
        if (out == INVALID_HANDLE_VALUE)
            return;
        closeHandle(out);
        // The copy may be large and the disk full: it goes at once rather than with the next writer.
        if (!inPlace)
            DeleteFileW(copyPath.c_str());
    }
    LogFile::Lock openLog(std::chrono::steady_clock::time_point deadline);
    bool commitInPlace();
    bool commitCopy();
};

LogFile::LogFile(const QString& path) : h_(std::make_unique<Handles>())
{
    h_->path = wide(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

LogFile::~LogFile()
{
    h_->dropRewrite();
    h_->unlock();
}

LogFile::Lock LogFile::open(int waitMs)
{
    Handles& h = *h_;
    h.dropRewrite();
    h.unlock();
    if (!isDiskFileName(h.path))
        return Lock::Failed;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);

    const size_t slash = h.path.find_last_of(L'\\');
    const std::wstring lockPath = h.path.substr(0, slash + 1) + L'.' + h.path.substr(slash + 1) + L".lock";
    // A link planted under the lock's name is opened itself, and refused: nothing is created through it.
    h.lock = CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h.lock == INVALID_HANDLE_VALUE)
        h.lock = CreateFileW(lockPath.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h.lock != INVALID_HANDLE_VALUE) {
        if (!isDiskFile(h.lock) || isReparsePoint(h.lock)) {
            closeHandle(h.lock);
            return Lock::Failed;
        }
        const Lock taken = lockUntil(h.lock, 0, deadline);
        if (taken != Lock::Taken) {
            closeHandle(h.lock);
            return taken;
        }
    }
    const Lock opened = h.openLog(deadline);
    if (opened != Lock::Taken)
        h.unlock();
    return opened;
}

LogFile::Lock LogFile::Handles::openLog(std::chrono::steady_clock::time_point deadline)
{
    // Not shared for deletion: while this handle is open, no other writer's copy can replace the file.
    log = CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (log == INVALID_HANDLE_VALUE || !isOwnSingleFile(log))
        return Lock::Failed;
    const Lock taken = lockUntil(log, kGuardOffsetHigh, deadline);
    if (taken != Lock::Taken)
        return taken;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (!GetFileInformationByHandle(log, &info) || !GetFileSizeEx(log, &size))
        return Lock::Failed;
    attributes = info.dwFileAttributes;
    logSize = size.QuadPart;
    realPath = finalPath(log);
    if (realPath.empty())
        realPath = path;
    fd = _open_osfhandle(intptr_t(log), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        return Lock::Failed;
    return reader.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle) ? Lock::Taken
                                                                                                      : Lock::Failed;
}

QIODevice& LogFile::contents()
{
    return h_->reader;
}

qint64 LogFile::size() const
{
    return h_->fd >= 0 ? h_->logSize : 0;
}

bool LogFile::beginRewrite()
{
    Handles& h = *h_;
    h.dropRewrite();
    h.newContents.clear();
    if (h.fd < 0 || (h.attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    // Whether the file's own permissions let this user write it, folder or not.
    HANDLE writable = CreateFileW(h.realPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (writable == INVALID_HANDLE_VALUE)
        return false;
    const size_t slash = h.realPath.find_last_of(L'\\');
    h.copyPath = h.realPath.substr(0, slash + 1) + L'.' + h.realPath.substr(slash + 1) + L".new";

    // Whatever stands under the copy's name was left by a writer that died.
    DWORD error = DeleteFileW(h.copyPath.c_str()) ? ERROR_FILE_NOT_FOUND : GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        h.out = CreateFileW(h.copyPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h.out != INVALID_HANDLE_VALUE) {
            h.inPlace = false;
            CloseHandle(writable);
            return true;
        }
        error = GetLastError();
    }
    // A folder this user may not change, while the file may be written: the file is rewritten in place.
    if (error != ERROR_ACCESS_DENIED) {
        CloseHandle(writable);
        return false;
    }
    h.out = writable;
    h.inPlace = true;
    return true;
}

bool LogFile::write(const QByteArray& bytes)
{
    Handles& h = *h_;
    if (h.out == INVALID_HANDLE_VALUE)
        return false;
    if (h.inPlace) {
        h.newContents += bytes;
        return true;
    }
    return writeAll(h.out, bytes.constData(), bytes.size(), 0, false);
}

bool LogFile::commit()
{
    Handles& h = *h_;
    if (h.out == INVALID_HANDLE_VALUE)
        return false;
    const bool done = h.inPlace ? h.commitInPlace() : h.commitCopy();
    h.dropRewrite();
    return done;
}

bool LogFile::Handles::commitCopy()
{
    // On disk before it replaces the log, so that a crash of the system too leaves one whole file.
    const bool written = FlushFileBuffers(out) != 0;
    HANDLE copy = out;
    out = INVALID_HANDLE_VALUE;
    const bool closed = CloseHandle(copy) != 0;
    const DWORD kept = attributes & kKeptAttributes;
    if (written && closed && (kept == 0 || SetFileAttributesW(copyPath.c_str(), kept))) {
        // The lock stays with the side file; the log's own handle must go for the replace to work.
        closeLog();
        if (MoveFileExW(copyPath.c_str(), realPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
    }
    SetFileAttributesW(copyPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(copyPath.c_str());
    return false;
}

// Unlike the copy this cannot survive a crash halfway, but a full disk still leaves the old
// contents: the part beyond the old end is written first, and only once it fits is the rest
// overwritten, which takes no more room.
bool LogFile::Handles::commitInPlace()
{
    const qint64 oldSize = logSize;
    const qint64 newSize = newContents.size();
    const char* data = newContents.constData();
    if (newSize > oldSize && !writeAll(out, data + oldSize, newSize - oldSize, oldSize, true)) {
        truncateAt(out, oldSize);
        return false;
    }
    return writeAll(out, data, qMin(oldSize, newSize), 0, true) && (newSize >= oldSize || truncateAt(out, newSize)) &&
           FlushFileBuffers(out) != 0;
}
