#pragma once

#include <QString>

// `pylvane --headless`: the whole run without a desktop, from its checks at start to its end.
namespace HeadlessMain {

// Exit codes of a start that is refused, from sysexits.h as the command line's 64 is: the settings or the state
// folder cannot be used (EX_CONFIG), or another Pylvane runs with the same state folder (EX_TEMPFAIL).
constexpr int kUnusableSetup = 78;
constexpr int kAlreadyRunning = 75;

// `settingsFile` empty: the user's own; `stateFolder` empty: see StateFolder.
int run(int argc, char* argv[], const QString& settingsFile, const QString& stateFolder);

} // namespace HeadlessMain
