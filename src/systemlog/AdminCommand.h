#pragma once

#include <optional>
#include <string>

// The command lines that do one job and end, before any window or application object exists:
//   --register-event-source    (Windows, as an administrator) writes
//                              HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Pylvane
//                              with this program as its message file
//   --unregister-event-source  removes that key
//   --write-metrics            the metrics writer that a running Pylvane starts (MetricsWriter)
// The first two print what they did; each gives the exit status: 0 done, otherwise not done.
class AdminCommand {
public:
    // The exit status when the first argument is one of these options; nothing for any other
    // command line, which starts the program as usual.
    static std::optional<int> run(int argc, char* argv[]);

    struct Result {
        bool done = false;
        std::string message;
    };

private:
    // Per system: AdminCommandWindows.cpp, AdminCommandPosix.cpp.
    static Result registerSource();
    static Result unregisterSource();
    static void print(const std::string& line, bool error);
    // Standard input as bytes, without the C library's text mode on Windows.
    static void useBinaryInput();
};
