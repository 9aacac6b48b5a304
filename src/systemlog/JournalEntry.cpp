#include "systemlog/JournalEntry.h"

#include <QtEndian>

namespace {

void appendField(QByteArray& fields, const char* name, const QByteArray& value)
{
    fields += name;
    if (value.contains('\n')) {
        fields += '\n';
        char size[8];
        qToLittleEndian<quint64>(quint64(value.size()), size);
        fields.append(size, sizeof size);
    } else {
        fields += '=';
    }
    fields += value;
    fields += '\n';
}

} // namespace

QByteArray JournalEntry::nativeFields(const SystemEvent& event)
{
    QByteArray fields;
    appendField(fields, "MESSAGE", event.message.toUtf8());
    appendField(fields, "PRIORITY", QByteArray::number(priorityOf(event.kind)));
    appendField(fields, "SYSLOG_IDENTIFIER", kIdentifier);
    appendField(fields, "MESSAGE_ID", messageIdOf(event.kind));
    if (event.hasTarget()) {
        appendField(fields, "PYLVANE_TARGET", event.targetName.toUtf8());
        appendField(fields, "PYLVANE_KIND", event.targetKind.toUtf8());
        appendField(fields, "PYLVANE_TEXT", event.targetText.toUtf8());
    }
    return fields;
}

QByteArray JournalEntry::escapedLine(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    QByteArray line;
    line.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            line += "\\\\";
        else if (c == '\n')
            line += "\\n";
        else if (byte < 0x20 || byte == 0x7f)
            line += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            line += c;
    }
    return line;
}

QByteArray JournalEntry::syslogLine(const SystemEvent& event, qint64 pid, const QDateTime& localTime)
{
    constexpr int kUserFacility = 1 << 3;
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = localTime.date();
    // The stamp syslog(3) writes: English month, day padded with a blank.
    const QByteArray stamp = QByteArray(kMonths[date.month() - 1]) + ' ' +
                             QByteArray::number(date.day()).rightJustified(2, ' ') + ' ' +
                             localTime.time().toString(QStringLiteral("hh:mm:ss")).toLatin1();
    return '<' + QByteArray::number(kUserFacility + priorityOf(event.kind)) + '>' + stamp + ' ' + kIdentifier + '[' +
           QByteArray::number(pid) + "]: " + escapedLine(event.message);
}
