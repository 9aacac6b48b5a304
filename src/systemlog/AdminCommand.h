#pragma once

#include <string>

// The jobs of the event source's registration, which the command line hands on, before any window or
// application object exists:
//   --register-event-source    (Windows, as an administrator) writes
//                              HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Pylvane
//                              with this program as its message file
//   --unregister-event-source  removes that key
// Each prints what it did.
class AdminCommand {
public:
    struct Result {
        bool done = false;
        std::string message;
    };

    // Per system: AdminCommandWindows.cpp, AdminCommandPosix.cpp.
    static Result registerSource();
    static Result unregisterSource();
    static void print(const std::string& line, bool error);
    // Standard input as bytes, without the C library's text mode on Windows.
    static void useBinaryInput();
};
