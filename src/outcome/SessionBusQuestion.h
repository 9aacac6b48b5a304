#pragma once

// Before the application object exists: whether the session bus's daemon answers, asked once and for a bounded
// time. Qt's own connection to the bus (its accessibility bridge, the tray, the notices) waits for good on a daemon
// that is stopped, and the first window would never show.
namespace SessionBusQuestion {

enum class Answer {
    Answered, // or there is no session bus of that kind here (Windows)
    NoBus,    // nothing to ask, or its socket is missing or refuses: Qt finds that out at once by itself
    Silent,   // the daemon took the connection and did not answer within the limit
};

Answer ask(int limitMs);

// For the rest of this run, the bus's address is one that refuses at once, so that neither Qt nor the programs this
// one starts wait on the daemon that did not answer.
void leaveBusAlone();

} // namespace SessionBusQuestion
