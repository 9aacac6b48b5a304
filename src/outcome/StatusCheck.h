#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// `pylvane --status`: the status file read back as one line in the convention of monitoring plugins,
// with their exit codes.
class StatusCheck {
public:
    enum Code { Ok = 0, Critical = 2, Unknown = 3 };
    struct Result {
        Code code = Unknown;
        QString line;
    };

    // From the file's bytes (nothing: there is no file, or none that may be read, and `refused` says why) at the
    // moment `now`. CRITICAL when a target is down; otherwise UNKNOWN when an enabled target could not be checked,
    // as nothing down is then not known; otherwise OK. A target being looked at again is none of these: the line
    // says how many there are, and so does the performance data.
    static Result evaluate(const std::optional<QByteArray>& bytes, const QDateTime& now, const QString& refused = {});

    // How the last check the file tells of stands at `now`: a file that is not one Pylvane wrote is damaged; a
    // check after which two whole intervals were missed is overdue; one over 5 minutes ahead of the clock is ahead.
    enum class LastCheck { Damaged, Current, Overdue, Ahead };
    static LastCheck lastCheck(const QByteArray& bytes, const QDateTime& now);
};
