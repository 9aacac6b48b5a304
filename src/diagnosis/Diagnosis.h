#pragma once

#include <QString>

// `pylvane --diagnose`: whether each service Pylvane relies on works here, printed on standard output as
// text (or, with `json`, as one JSON document) that a user can paste into a public bug report. It opens no
// window, changes nothing but one event sent to the system's log, and ends within five seconds of its start, whatever
// hangs: the display, the tray and the session bus are asked by processes of its own (DesktopPart), which it ends at
// its deadline, and the file checks run on threads it leaves behind there. Returns the exit code: 0 all well, 1 with
// warnings, 2 with a failure.
class Diagnosis {
public:
    static int run(int argc, char* argv[], bool json);
    // The sentence under a report that the deadline cut short; JSON says "stopped_at_limit": true instead.
    static QString stoppedNote();
};
