#pragma once

#include <QStringList>

#include <optional>

// The program's one reader of its command line, before any window exists: each option goes to its own code
// (`--status`, `--diagnose`, the event source's registration, the metrics writer), `--help` and `--version` answer,
// and anything unknown is refused with exit code 64. Qt's own options are left to Qt. Nothing here needs a display.
class CommandLine {
public:
    // How a run that does not end at once is to go: with its windows, or without a desktop (--headless); the
    // settings file and the state folder given.
    struct RunOptions {
        bool headless = false;
        QString settingsFile; // --config; empty for the user's own
        QString stateFolder;  // --state-dir; empty for the default
    };

    // The exit code when the command line asks for a job that ends the program; nothing when the program is to
    // run, as `options` says.
    static std::optional<int> run(int argc, char* argv[], RunOptions* options = nullptr);

    // The arguments less the options that Qt itself takes, with their values.
    static QStringList withoutQtOptions(const QStringList& arguments);
};
