#include "platform/ConsoleOutput.h"

#include <windows.h>

#include <string>

void ConsoleOutput::write(const QString& text, Stream stream)
{
    HANDLE handle = GetStdHandle(stream == Error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN &&
        GetFileType(handle) != FILE_TYPE_CHAR) {
        // A pipe or a file, as a script or a monitoring agent gives it: UTF-8, CR LF line ends.
        QString crlf = text;
        crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        const QByteArray bytes = crlf.toUtf8();
        DWORD written = 0;
        WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
        return;
    }
    // Typed at a prompt: the console of the program that started this one, which a windows program
    // does not get by itself.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED)
        return;
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return;
    QString crlf = text;
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    const std::wstring wide = crlf.toStdWString();
    DWORD written = 0;
    WriteConsoleW(console, wide.c_str(), DWORD(wide.size()), &written, nullptr);
    CloseHandle(console);
}
