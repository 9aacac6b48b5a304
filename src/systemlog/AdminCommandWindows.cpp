#include "systemlog/AdminCommand.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include <string>

namespace {

const wchar_t* const kKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pylvane";
const char* const kKeyText = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pylvane";

std::string narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::string reasonOf(LSTATUS status)
{
    if (status == ERROR_ACCESS_DENIED)
        return "access denied: run it as an administrator";
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   DWORD(status), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring reason = text != nullptr ? text : L"";
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L'.'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(status) : narrow(reason);
}

std::wstring exePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

AdminCommand::Result AdminCommand::registerSource()
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return {false, std::string("Could not register the event source Pylvane: ") + reasonOf(status)};
    const std::wstring exe = exePath();
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    status = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(exe.c_str()),
                            DWORD((exe.size() + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS)
        status =
            RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return {false, std::string("Could not register the event source Pylvane: ") + reasonOf(status)};
    return {true, std::string("Registered the event source Pylvane: ") + kKeyText + " names " + narrow(exe) +
                      " as its message file."};
}

AdminCommand::Result AdminCommand::unregisterSource()
{
    const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    if (status == ERROR_FILE_NOT_FOUND)
        return {true, std::string("The event source Pylvane was not registered: ") + kKeyText + " does not exist."};
    if (status != ERROR_SUCCESS)
        return {false, std::string("Could not unregister the event source Pylvane: ") + reasonOf(status)};
    return {true, std::string("Unregistered the event source Pylvane: removed ") + kKeyText + "."};
}

// A program without a console of its own: the text goes where its output was sent, or else to the
// console of the command prompt it was started from.
void AdminCommand::print(const std::string& line, bool error)
{
    const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    HANDLE out = GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        // A GUI program's standard handles stay empty after attaching; the console is opened by name.
        if (AttachConsole(ATTACH_PARENT_PROCESS))
            out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr);
}

void AdminCommand::useBinaryInput()
{
    _setmode(_fileno(stdin), _O_BINARY);
}
