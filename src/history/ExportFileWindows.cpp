#include "history/ExportFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

#include <windows.h>

namespace {

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

QString errorText(DWORD error)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString result = text != nullptr ? QString::fromWCharArray(text).trimmed() : QString::number(error);
    LocalFree(text);
    return result;
}

} // namespace

bool ExportFile::write(const QString& path, const QByteArray& bytes, QString* why)
{
    const auto fail = [why](const QString& text, DWORD error) {
        if (why != nullptr)
            *why = text + QStringLiteral(": ") + errorText(error);
        return false;
    };
    const QFileInfo target(path);
    const QString temporary = QDir::toNativeSeparators(
        target.absolutePath() + QStringLiteral("/.") + target.fileName() +
        QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    // CREATE_NEW: a name someone put there first, a link included, is never opened.
    HANDLE file = CreateFileW(wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail(QStringLiteral("the file could not be made"), GetLastError());
    qsizetype written = 0;
    DWORD error = 0;
    while (written < bytes.size()) {
        DWORD done = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - written, 1 << 20));
        if (!WriteFile(file, bytes.constData() + written, chunk, &done, nullptr) || done == 0) {
            error = GetLastError() != 0 ? GetLastError() : ERROR_DISK_FULL;
            break;
        }
        written += done;
    }
    if (error == 0 && !FlushFileBuffers(file))
        error = GetLastError();
    CloseHandle(file);
    // MoveFileEx replaces a link in the chosen name's place rather than writing through it.
    if (error == 0 && !MoveFileExW(wide(temporary), wide(QDir::toNativeSeparators(target.absoluteFilePath())),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != 0) {
        DeleteFileW(wide(temporary));
        return fail(QStringLiteral("the file could not be written"), error);
    }
    return true;
}
