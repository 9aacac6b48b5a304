// Ends the session for Pylvane's windows as Windows Installer's Restart Manager does: every top-level
// window titled "Pylvane" is asked with WM_QUERYENDSESSION (ENDSESSION_CLOSEAPP) whether it may end,
// then told with WM_ENDSESSION that it does. Exits 0 when there was such a window and each agreed,
// 1 otherwise; by the time it exits, each window has handled both messages.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

BOOL CALLBACK collect(HWND window, LPARAM found)
{
    wchar_t title[16] = {};
    GetWindowTextW(window, title, 16);
    if (std::wcscmp(title, L"Pylvane") == 0)
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

// Sent, not posted, as the system sends them; the wait covers the program's own wait for the log.
LRESULT send(HWND window, UINT message, WPARAM wParam)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 30'000, &answer))
        return -1;
    return LRESULT(answer);
}

} // namespace

int main()
{
    std::vector<HWND> windows;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
    bool agreed = !windows.empty();
    for (HWND window : windows)
        agreed = send(window, WM_QUERYENDSESSION, 0) == TRUE && agreed;
    for (HWND window : windows)
        send(window, WM_ENDSESSION, TRUE);
    std::printf("%zu windows, %s\n", windows.size(), agreed ? "all agreed" : "not all agreed");
    return agreed ? 0 : 1;
}
