#include "metrics/MetricsFile.h"

#include "eventlog/WindowsFileChecks.h"
#include "probes/ProcessAlive.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace {

using Status = MetricsFile::Status;

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

Status failureOf(DWORD error, const QString& target)
{
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        return Status::DiskFull;
    // A folder at pylvane.prom, which a rename does not replace, is told only as access denied.
    const DWORD attributes = GetFileAttributesW(wide(target));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Status::FileRefused;
    return Status::NotWritable;
}

bool writeAll(HANDLE file, const QByteArray& text)
{
    const char* data = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const DWORD chunk = DWORD(qMin<qsizetype>(left, qsizetype(1) << 20));
        DWORD written = 0;
        if (WriteFile(file, data, chunk, &written, nullptr) == 0)
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        left -= qsizetype(written);
    }
    return true;
}

} // namespace

MetricsFile::Status MetricsFile::write(const QString& folder, const QByteArray& text)
{
    return writeAs(folder, text, temporaryName(qint64(GetCurrentProcessId())));
}

MetricsFile::Status MetricsFile::writeAs(const QString& folder, const QByteArray& text, const QString& temporary)
{
    const QFileInfo place(folder);
    if (!place.exists())
        return Status::FolderMissing;
    if (!place.isDir())
        return Status::NotAFolder;
    removeLeftovers(folder);
    const QDir dir(folder);
    const QString temporaryPath = QDir::toNativeSeparators(dir.filePath(temporary));
    const QString target = QDir::toNativeSeparators(dir.filePath(kFileName));
    // CREATE_NEW fails on any name already there, and FILE_FLAG_OPEN_REPARSE_POINT opens a link, not
    // its target; nothing else in the folder is opened. No one else may open it meanwhile.
    const HANDLE file = CreateFileW(wide(temporaryPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failureOf(GetLastError(), target);
    bool done = writeAll(file, text) && FlushFileBuffers(file) != 0;
    DWORD error = done ? DWORD(ERROR_SUCCESS) : GetLastError();
    if (CloseHandle(file) == 0 && done) {
        done = false;
        error = GetLastError();
    }
    // Replaces whatever stands at the name, a link included, and never writes through one.
    if (done && MoveFileExW(wide(temporaryPath), wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return Status::Written;
    if (done)
        error = GetLastError();
    DeleteFileW(wide(temporaryPath));
    return failureOf(error, target);
}

void MetricsFile::removeLeftovers(const QString& folder)
{
    ULARGE_INTEGER before{};
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    before.LowPart = now.dwLowDateTime;
    before.HighPart = now.dwHighDateTime;
    before.QuadPart -= 60ULL * 10'000'000ULL; // FILETIME counts 100 ns steps
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QLatin1Char('.') + kFileName + QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const std::optional<qint64> writer = writerOf(name);
        if (!writer)
            continue;
        // Each name is opened once, never through a link, and everything is judged on that handle: a file swapped
        // in after the listing is the one looked at, and the one deleted.
        const QString path = QDir::toNativeSeparators(dir.filePath(name));
        const HANDLE file = CreateFileW(wide(path), DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        BY_HANDLE_FILE_INFORMATION info{};
        // Only a file of the user's own, as on other systems: in a folder others may write, a file of theirs named
        // like a leftover is theirs to keep.
        if (isOwnSingleFile(file) && GetFileInformationByHandle(file, &info)) {
            ULARGE_INTEGER written{};
            written.LowPart = info.ftLastWriteTime.dwLowDateTime;
            written.HighPart = info.ftLastWriteTime.dwHighDateTime;
            if (written.QuadPart < before.QuadPart || !processRuns(*writer)) {
                FILE_DISPOSITION_INFO disposition{};
                disposition.DeleteFile = TRUE;
                SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
            }
        }
        CloseHandle(file);
    }
}
