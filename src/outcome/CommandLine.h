#pragma once

#include <QStringList>

#include <optional>

// What the program does with its command line before any window exists: `--status`, `--help` and
// `--version` answer and end; anything else unknown is refused. Nothing here needs a display.
class CommandLine {
public:
    // The exit code when the arguments (the program's name first) ask for an answer; nothing when the
    // windows are to start.
    static std::optional<int> run(const QStringList& arguments);
};
