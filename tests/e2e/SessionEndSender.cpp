// Ends the session for Pylvane's windows as Windows Installer's Restart Manager does, one step per call:
//   session_end_sender query   asks every top-level window titled "Pylvane" with WM_QUERYENDSESSION
//                              (ENDSESSION_CLOSEAPP) whether it may end; exits 0 when there was one and each agreed.
//   session_end_sender end     tells each with WM_ENDSESSION that it ends; exits 0 when there was one.
// By the time it exits, each window has handled its message.
#include <windows.h>

#include <cstdio>
#include <cstring>
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

int main(int argc, char* argv[])
{
    const bool query = argc == 2 && std::strcmp(argv[1], "query") == 0;
    if (!query && !(argc == 2 && std::strcmp(argv[1], "end") == 0))
        return 2;
    std::vector<HWND> windows;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
    bool agreed = !windows.empty();
    for (HWND window : windows) {
        const LRESULT answer = send(window, query ? WM_QUERYENDSESSION : WM_ENDSESSION, query ? 0 : TRUE);
        agreed = (!query || answer == TRUE) && agreed;
    }
    std::printf("%zu windows, %s\n", windows.size(), agreed ? "all agreed" : "not all agreed");
    return agreed ? 0 : 1;
}
