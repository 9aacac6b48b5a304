#include "platform/WindowsPlatform.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <windows.h>

#include <iterator>
#include <memory>
#include <string>

namespace {

// Starts the program `application` with `commandLine` in a minimized window that takes the focus, without
// waiting for it.
bool startMinimized(const std::wstring& application, std::wstring commandLine,
                    const Platform::Environment& environment = {})
{
    // The block of this program's variables with `environment` over them, "NAME=value" each ending in a nul,
    // sorted by name without regard to case as the system keeps it, and a nul at the end.
    std::wstring block;
    if (!environment.isEmpty()) {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : environment)
            variables.insert(name, value);
        QStringList entries = variables.toStringList();
        entries.sort(Qt::CaseInsensitive);
        for (const QString& entry : std::as_const(entries))
            block += entry.toStdWString() + L'\0';
        block += L'\0';
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        block.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT, block.empty() ? nullptr : block.data(),
                        nullptr, &startup, &process)) {
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

// Whether the system takes `name` (backslashes only) for a device or an object rather than a file in a
// folder, which it does before looking at any folder.
bool namesDevice(const QString& name)
{
    // Of the names in the object namespace, only the long forms of a path on a drive or a share lead to files;
    // the rest reach pipes, devices and, through GLOBALROOT, anything.
    static const QRegularExpression objectName(QStringLiteral(R"(^(\\\\\.\\|\\\?\?\\|\\\\\?\\(?![a-z]:\\|unc\\)))"),
                                               QRegularExpression::CaseInsensitiveOption);
    // A reserved device name answers in every folder, whatever trailing spaces and extension follow it.
    static const QRegularExpression device(
        QStringLiteral("^(con|prn|aux|nul|conin\\$|conout\\$|(com|lpt)[1-9\u00b9\u00b2\u00b3]) *([.:].*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    qsizetype last = name.lastIndexOf(QLatin1Char('\\')) + 1;
    if (last == 0 && name.size() >= 2 && name[1] == QLatin1Char(':'))
        last = 2; // a drive-relative name such as C:NUL
    return objectName.match(name).hasMatch() || device.match(QStringView(name).mid(last)).hasMatch();
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
    const QString native = QDir::toNativeSeparators(name);
    if (native.isEmpty() || namesDevice(native))
        return false;
    // The text is one file name: wildcard characters never match, the question mark of a long path's prefix aside.
    // The lookup takes <, > and " for wildcards of its own, and no file name holds them.
    const QStringView path = QStringView(native).mid(native.startsWith(QLatin1String(R"(\\?\)")) ? 4 : 0);
    for (const char16_t wildcard : {u'*', u'?', u'<', u'>', u'"', u'\0'}) {
        if (path.contains(QChar(wildcard)))
            return false;
    }
    // A directory lookup, unlike opening the name, never reaches a device or a pipe, nor takes up a pipe's
    // waiting instance; it also sees files that others hold open without sharing.
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(native.toStdWString().c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    const DWORD never = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_SYSTEM |
                        (mask == FileMask::OrdinaryOnly ? FILE_ATTRIBUTE_HIDDEN : 0);
    return (found.dwFileAttributes & never) == 0;
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

bool WindowsPlatform::startProgram(const QString& path, const Environment& environment)
{
    // The file itself is the program, with no arguments: the text cannot smuggle in a second command.
    const QString program = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    return startMinimized(program.toStdWString(), quoted(program).toStdWString(), environment);
}

// Notepad either starts or is refused at once: nothing fails later.
bool WindowsPlatform::openInTextEditor(const QString& path, const std::function<void()>& /*failedLater*/)
{
    // Named by its full path: by name alone, the system would look in this program's folder and in the
    // working directory first, and a notepad.exe planted there would run in its place.
    wchar_t system[MAX_PATH];
    const UINT size = GetSystemDirectoryW(system, MAX_PATH);
    if (size == 0 || size >= MAX_PATH)
        return false;
    const QString native = QDir::toNativeSeparators(path);
    const QString argument = native.contains(QLatin1Char(' ')) ? quoted(native) : native;
    return startMinimized(std::wstring(system, size) + L"\\notepad.exe",
                          (QStringLiteral("notepad.exe ") + argument).toStdWString());
}

void WindowsPlatform::messageBox(const QString& text, const QString& caption, MessageIcon icon)
{
    // The system's own box, modal for every window of this program.
    const UINT style = MB_OK | MB_TASKMODAL | (icon == MessageIcon::Warning ? MB_ICONEXCLAMATION : 0);
    MessageBoxW(nullptr, text.toStdWString().c_str(), caption.toStdWString().c_str(), style);
}
