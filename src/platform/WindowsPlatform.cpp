#include "platform/WindowsPlatform.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

#include <iterator>
#include <memory>
#include <string>

namespace {

// Starts `commandLine` in a minimized window that takes the focus, without waiting for it. With an
// empty `application` the program is the command line's first word, searched for as the system does.
bool startMinimized(const std::wstring& application, std::wstring commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), commandLine.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// File names cannot contain quotes, so quoting needs no escapes.
QString quoted(const QString& path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QString twoDigits(WORD value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

std::unique_ptr<Platform> Platform::forThisSystem()
{
    return std::make_unique<WindowsPlatform>();
}

bool WindowsPlatform::fileExists(const QString& name, FileMask mask) const
{
    // The text is one file name: wildcard characters never match, and an empty name is nothing.
    if (name.isEmpty() || name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')) ||
        name.contains(QChar(u'\0')))
        return false;
    // Opening without any access right works on files that others hold open, and tells a file on disk
    // from a device such as NUL, which answers to a plain name in every folder. Directories cannot be
    // opened this way at all.
    const HANDLE file = CreateFileW(QDir::toNativeSeparators(name).toStdWString().c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool onDisk = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!onDisk)
        return false;
    const DWORD never = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_SYSTEM |
                        (mask == FileMask::OrdinaryOnly ? FILE_ATTRIBUTE_HIDDEN : 0);
    return (info.dwFileAttributes & never) == 0;
}

QString WindowsPlatform::dateText() const
{
    wchar_t text[96];
    const int size = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text,
                                     static_cast<int>(std::size(text)), nullptr);
    return size > 0 ? QString::fromWCharArray(text, size - 1) : QString();
}

QString WindowsPlatform::timeText() const
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t separator[8];
    const int size =
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, separator, static_cast<int>(std::size(separator)));
    const QString between = size > 1 ? QString::fromWCharArray(separator, size - 1) : QStringLiteral(":");
    return twoDigits(now.wHour) + between + twoDigits(now.wMinute) + between + twoDigits(now.wSecond);
}

bool WindowsPlatform::startProgram(const QString& path)
{
    // The file itself is the program, with no arguments: the text cannot smuggle in a second command.
    const QString program = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    return startMinimized(program.toStdWString(), quoted(program).toStdWString());
}

bool WindowsPlatform::openInTextEditor(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    const QString argument = native.contains(QLatin1Char(' ')) ? quoted(native) : native;
    return startMinimized({}, (QStringLiteral("notepad.exe ") + argument).toStdWString());
}

void WindowsPlatform::messageBox(const QString& text, const QString& caption, MessageIcon icon)
{
    // The system's own box, modal for every window of this program.
    const UINT style = MB_OK | MB_TASKMODAL | (icon == MessageIcon::Warning ? MB_ICONEXCLAMATION : 0);
    MessageBoxW(nullptr, text.toStdWString().c_str(), caption.toStdWString().c_str(), style);
}
