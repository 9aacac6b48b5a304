// Started by the platform tests in place of a real program. Writes "started.txt" into its working
// directory: the window flags and show state it was started with on the first line, its command
// line (UTF-8) on the second, and PYLVANE_DOWN_COUNT on a third where it is set.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const wchar_t* line = GetCommandLineW();
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), size, nullptr, nullptr);
    FILE* out = std::fopen("started.txt.part", "wb");
    if (out == nullptr) {
        return 1;
    }
    std::fprintf(out, "%lu %u\n%s\n", startup.dwFlags, startup.wShowWindow, utf8.c_str());
    // A variable the program was given, where it was given one.
    char count[16];
    if (GetEnvironmentVariableA("PYLVANE_DOWN_COUNT", count, sizeof count) > 0)
        std::fprintf(out, "%s\n", count);
    std::fclose(out);
    // Appears whole, so that the test never reads it half written.
    return MoveFileW(L"started.txt.part", L"started.txt") ? 0 : 1;
}
