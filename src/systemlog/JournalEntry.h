#pragma once

#include "systemlog/SystemEvent.h"

#include <QByteArray>
#include <QDateTime>

// An event in the two forms a Linux machine's log takes it: the journal's native protocol, whose
// fields are binary-safe, and the one-line message that syslog(3) sends to /dev/log.
class JournalEntry {
public:
    static inline const QByteArray kIdentifier = QByteArrayLiteral("pylvane");

    // MESSAGE, PRIORITY, SYSLOG_IDENTIFIER, MESSAGE_ID and, for a target, PYLVANE_TARGET,
    // PYLVANE_KIND and PYLVANE_TEXT. A value holding a line feed goes in the length-prefixed form,
    // so that no text can end its field early or start another one.
    static QByteArray nativeFields(const SystemEvent& event);

    // "<PRI>Mmm dd hh:mm:ss pylvane[pid]: sentence" with the user facility. The sentence stays one
    // line: control characters and the backslash are written as escapes ("\n", "\x1b", "\\").
    static QByteArray syslogLine(const SystemEvent& event, qint64 pid, const QDateTime& localTime);

    static QByteArray escapedLine(const QString& text);
};
