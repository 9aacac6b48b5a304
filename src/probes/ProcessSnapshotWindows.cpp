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

bool ProcessSnapshot::exeRunning(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    // szExeFile is the executable's file name without its folder, as the management service's Name is.
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        found = sameWideName(std::wstring_view(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH)), name);
    }
    CloseHandle(snapshot);
    return found;
}
