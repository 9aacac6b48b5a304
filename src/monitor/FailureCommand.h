#pragma once

#include "platform/Platform.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The failure program: the one program file that the settings name, started when a cycle raises an alarm and told
// in its environment what is down.
class FailureCommand {
public:
    // How much it is told of the targets, in bytes of UTF-8: each target's line, and the whole list. A system gives
    // a program only so much (Linux at most 128 KiB in one variable, Windows 32,767 characters), and a list that
    // did not fit would keep the program from starting at all.
    static constexpr qsizetype kLineBytes = 1024;
    static constexpr qsizetype kListBytes = 16 * 1024;

    // The program file a failure command's text names: the whole text, less one pair of quotes around it, as a
    // path copied from a file manager comes. Empty: there is no failure command.
    static QString commandFile(const QString& text);

    // PYLVANE_DOWN: one line for each of `down` in its order, each cut to kLineBytes; where the whole would pass
    // kListBytes, as many lines as fit and then "and N more". The lines always account for every target.
    static QString downList(const QStringList& down);

    struct Outcome {
        QString command; // the program file; empty when there is none
        bool started = false;
        QString failure; // why it did not start
    };
    // Starts the program that `commandText` names, if it names an ordinary file, telling it of the targets `down`
    // (one line each, as the tooltip names them), the log's path and when the cycle ended.
    static Outcome start(Platform& platform, const QString& commandText, const QStringList& down,
                         const QString& logPath, const QDateTime& ended);
};
