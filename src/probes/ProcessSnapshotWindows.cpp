#include "probes/ProcessSnapshot.h"

#include "probes/FileNameMatch.h"

#include <windows.h>
#include <tlhelp32.h>

bool ProcessSnapshot::sameWideName(std::wstring_view fileName, std::string_view name)
{
    if (fileName.empty()) {
        return false;
    }
    const int wideLength = static_cast<int>(fileName.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, fileName.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, fileName.data(), wideLength, utf8.data(), size, nullptr,
                        nullptr);
    return FileNameMatch::sameName(utf8, name);
}

std::optional<bool> ProcessSnapshot::exeRunning(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    // szExeFile is the executable's file name without its folder, as the management service's Name is.
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::optional<bool> found;
    if (Process32FirstW(snapshot, &entry)) {
        // The table holds this process at least: a table with no first entry was not read.
        found = false;
        do {
            if (sameWideName(std::wstring_view(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH)), name)) {
                found = true;
            }
        } while (!*found && Process32NextW(snapshot, &entry));
        if (!*found && GetLastError() != ERROR_NO_MORE_FILES) {
            found.reset(); // the walk broke off before the end of the table
        }
    }
    CloseHandle(snapshot);
    return found;
}
