#include "eventlog/KeptEntriesFile.h"

#include "eventlog/WindowsFileChecks.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <string>
#include <thread>

#include <windows.h>

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(2);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The lock is a byte range far beyond any contents, which Windows would otherwise refuse to read.
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

void closeHandle(HANDLE& handle)
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

bool writeAllAt(HANDLE handle, const char* data, qint64 size, qint64 offset)
{
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset & 0xffffffff);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD done = 0;
        if (!WriteFile(handle, data, DWORD(qMin<qint64>(size, 1 << 30)), &done, &at) || done == 0)
            return false;
        data += done;
        size -= done;
        offset += done;
    }
    return true;
}

bool readAt(HANDLE handle, char* data, DWORD size, qint64 offset, DWORD* got)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xffffffff);
    at.OffsetHigh = DWORD(offset >> 32);
    *got = 0;
    return ReadFile(handle, data, size, got, &at) || GetLastError() == ERROR_HANDLE_EOF;
}

bool truncateAt(HANDLE handle, qint64 size)
{
    LARGE_INTEGER at{};
    at.QuadPart = size;
    return SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
}

qint64 sizeOf(HANDLE handle)
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(handle, &size) ? qint64(size.QuadPart) : -1;
}

bool deletePending(HANDLE handle)
{
    FILE_STANDARD_INFO info{};
    return GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info) && info.DeletePending;
}

} // namespace

struct KeptEntriesFile::Handles {
    std::wstring path;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool writable = false;
    qint64 size = 0;
    QByteArray identity;

    HANDLE openOnce(DWORD access, DWORD disposition) const
    {
        // FILE_FLAG_OPEN_REPARSE_POINT: a link under this name is opened itself, and then refused.
        return CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }
    bool nameStillLeadsHere() const
    {
        HANDLE now = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        const bool same = now != INVALID_HANDLE_VALUE && sameFile(now, file) && !deletePending(file);
        if (now != INVALID_HANDLE_VALUE)
            CloseHandle(now);
        return same;
    }
};

KeptEntriesFile::KeptEntriesFile(const QString& path) : h_(std::make_unique<Handles>())
{
    h_->path = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

KeptEntriesFile::~KeptEntriesFile()
{
    closeHandle(h_->file);
}

KeptEntriesFile::Open KeptEntriesFile::open(bool create, int waitMs)
{
    Handles& h = *h_;
    closeHandle(h.file);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    constexpr DWORD kFull = GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL;
    for (;;) {
        // A link is refused by what the open finds as well; the name is asked too, as some systems
        // (Wine) follow a link even when told to open the link itself.
        const DWORD attributes = GetFileAttributesW(h.path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return Open::Refused;
        h.writable = true;
        h.file = h.openOnce(kFull, OPEN_EXISTING);
        if (h.file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            // A file that may be read but not written still has entries to bring in.
            h.writable = false;
            h.file = h.openOnce(GENERIC_READ | READ_CONTROL, OPEN_EXISTING);
        }
        if (h.file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND && create) {
            h.writable = true;
            h.file = h.openOnce(kFull, CREATE_NEW);
            if (h.file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
                continue; // created by another writer meanwhile
        }
        if (h.file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Open::Missing : Open::Refused;
        }
        if (!isOwnSingleFile(h.file)) {
            closeHandle(h.file);
            return Open::Refused;
        }
        for (;;) {
            OVERLAPPED at{};
            at.OffsetHigh = kLockOffsetHigh;
            if (LockFileEx(h.file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
                break;
            const DWORD error = GetLastError();
            if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
                closeHandle(h.file);
                return Open::Refused;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                closeHandle(h.file);
                return Open::Busy;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
        // The holder may have removed the file meanwhile; the name is then looked up again, so that
        // nothing is appended to a file on its way out.
        if (h.nameStillLeadsHere()) {
            h.size = sizeOf(h.file);
            BY_HANDLE_FILE_INFORMATION info{};
            GetFileInformationByHandle(h.file, &info);
            h.identity = QByteArray::number(qulonglong(info.dwVolumeSerialNumber)) + ':' +
                         QByteArray::number((qulonglong(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
            return h.size >= 0 ? Open::Opened : Open::Refused;
        }
        closeHandle(h.file);
        if (std::chrono::steady_clock::now() >= deadline)
            return Open::Busy;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool KeptEntriesFile::readAll(QByteArray& contents)
{
    Handles& h = *h_;
    contents.clear();
    if (h.file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    for (qint64 at = 0;;) {
        DWORD got = 0;
        if (!readAt(h.file, buffer, sizeof buffer, at, &got))
            return false;
        if (got == 0)
            return true;
        contents.append(buffer, got);
        at += got;
    }
}

bool KeptEntriesFile::append(const QByteArray& bytes)
{
    Handles& h = *h_;
    const qint64 size = h.file == INVALID_HANDLE_VALUE ? -1 : sizeOf(h.file);
    if (size < 0 || !h.writable)
        return false;
    QByteArray text = bytes;
    char last = '\n';
    DWORD got = 0;
    if (size > 0 && (!readAt(h.file, &last, 1, size - 1, &got) || got != 1))
        return false;
    // A damaged file whose last line has no end would otherwise join that line to this entry.
    if (last != '\n' && last != '\r')
        text.prepend("\r\n");
    if (!writeAllAt(h.file, text.constData(), text.size(), size)) {
        // A full disk: whatever part went in is taken back, so the file holds whole entries only.
        truncateAt(h.file, size);
        return false;
    }
    // Not flushed here: a flush per entry costs milliseconds each, while an entry written survives a
    // kill or a crash of the program as it is, and the system writes it out within seconds. What the
    // entries wait in is put on disk with sync().
    return true;
}

bool KeptEntriesFile::sync()
{
    return h_->file != INVALID_HANDLE_VALUE && h_->writable && FlushFileBuffers(h_->file);
}

bool KeptEntriesFile::discard()
{
    Handles& h = *h_;
    if (h.file == INVALID_HANDLE_VALUE)
        return false;
    // The lock file that earlier versions kept beside this file for good.
    const size_t slash = h.path.find_last_of(L'\\');
    const std::wstring oldLock = h.path.substr(0, slash + 1) + L'.' + h.path.substr(slash + 1) + L".lock";
    DeleteFileW(oldLock.c_str());
    // Deleted through the handle, so that it is this file that goes, whatever its name leads to now.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (SetFileInformationByHandle(h.file, FileDispositionInfo, &disposition, sizeof disposition))
        return true;
    return h.writable && truncateAt(h.file, 0) && FlushFileBuffers(h.file);
}

const QByteArray& KeptEntriesFile::identity() const
{
    return h_->identity;
}

qint64 KeptEntriesFile::size() const
{
    return h_->file != INVALID_HANDLE_VALUE ? h_->size : 0;
}
