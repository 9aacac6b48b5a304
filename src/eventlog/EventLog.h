#pragma once

#include "eventlog/LogWriter.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QString>

class LogFile;
class Platform;

// The plain-text log of targets found down, newest first below a two-line header. Every change
// rewrites the file whole under a lock (see LogFile), so neither a crash nor a second Pylvane
// writing the same file can lose or truncate what is already recorded. An entry that cannot go in
// yet waits here and goes in with the next one that can.
class EventLog : public LogWriter {
public:
    static inline const QString kFileName = QStringLiteral("PylvaneLog.txt");

    explicit EventLog(Platform& platform, QString fileName = kFileName);

    // Inserts "<date> <time> <label>" and an empty line right below the header, creating the file
    // with `style`'s header when it is missing. Entries queued by earlier failures go in with it,
    // below it and newest first. On false the file is unchanged and the entry stays queued.
    bool WriteLogEntry(HeaderStyle style, const QString& label) override;
    // Inserts the entries still queued; true when none are left.
    bool writeQueuedEntries() override;
    // Creates the file, or empties an existing one, holding just the header of `style`.
    bool CreateLogFile(HeaderStyle style);
    // "Open Log": creates a missing file with the host header, then opens it in a text editor.
    bool OpenLog();

    const QString& fileName() const { return fileName_; }

private:
    bool lock(LogFile& file);
    bool writeHeaderOnly(LogFile& file, HeaderStyle style);
    bool insertQueued(LogFile& file, HeaderStyle style);
    QByteArray headerLine(HeaderStyle style) const;
    QByteArray stampedLine(const QByteArray& prefix, const QString& suffix) const;

    Platform& platform_;
    QString fileName_;
    QByteArrayList queued_; // entry lines not yet in the file, newest first
    // The style of the oldest queued entry: that entry would have created a missing file.
    HeaderStyle queuedStyle_ = HeaderStyle::HostHeader;
    QElapsedTimer busySince_; // valid while another writer keeps the lock too long
};
