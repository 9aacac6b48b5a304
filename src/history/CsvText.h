#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Comma-separated text as RFC 4180 has it, in UTF-8: a field holding a comma, a double quote, CR or LF is quoted,
// its quotes doubled; rows end with CR LF. A field that a spreadsheet would take for a formula (it starts with '=',
// '+', '-', '@', a tab or CR) gets a leading "'", so that a process name cannot run as one when the export is opened.
class CsvText {
public:
    static QString field(const QString& value);
    // One row, with its CR LF.
    static QString row(const QStringList& fields);
    static QByteArray rowUtf8(const QStringList& fields) { return row(fields).toUtf8(); }
    // ISO 8601 with the offset from UTC: "2026-03-29T03:05:00+02:00".
    static QString time(const QDateTime& time);
};
