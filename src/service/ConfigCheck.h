#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// `pylvane --check-config [FILE]`, as `monit -t` checks its control file, and the same judgement on the settings a
// running Pylvane without a desktop is asked to read again: the settings check of --diagnose, told line by line.
class ConfigCheck {
public:
    enum Code { Fine = 0, Warnings = 1, Unusable = 2 };
    struct Result {
        Code code = Fine;
        QStringList lines; // what was found, one thing a line, without the program's name
        QString reason;    // for Unusable: why, in one clause ("line 3 cannot be read")
    };

    // The settings file `path`; its bytes are read once here.
    static Result ofFile(const QString& path);
    // `bytes` as read from `path`, or `refusal` when they could not be.
    static Result of(const QString& path, const QByteArray& bytes, const QString& refusal);

    // The job: prints the result and returns its code.
    static int run(const QString& path);
};
