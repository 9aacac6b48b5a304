#pragma once

#include <QStringList>

#include <optional>

// What the program does with its command line before any window exists: `--status`, `--help` and
// `--version` answer and end; Qt's own options are left to Qt; anything else unknown is refused. Nothing here needs a
// display.
class CommandLine {
public:
    // The exit code when the arguments (the program's name first) ask for an answer; nothing when the
    // windows are to start.
    static std::optional<int> run(const QStringList& arguments);

    // The arguments less the options that Qt itself takes, with their values.
    static QStringList withoutQtOptions(const QStringList& arguments);
};
