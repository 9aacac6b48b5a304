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
// yet waits here and goes in with the next one that can. Entries still waiting when the program
// ends are kept in a file of their own beside the log, "<log>.pending", in the log's own lines,
// newest first; the next writer puts them in below its own entries and removes that file.
class EventLog : public LogWriter {
public:
    static inline const QString kFileName = QStringLiteral("PylvaneLog.txt");

    explicit EventLog(Platform& platform, QString fileName = kFileName);

    static QString pendingFileName(const QString& logFileName) { return logFileName + QStringLiteral(".pending"); }

    // Inserts "<date> <time> <label>" and an empty line right below the header, creating the file
    // with `style`'s header when it is missing. Entries queued by earlier failures go in with it,
    // below it and newest first. On false the file is unchanged and the entry stays queued.
    bool WriteLogEntry(HeaderStyle style, const QString& label) override;
    // Inserts the entries still queued, and those kept by an earlier run; true when none are left.
    bool writeQueuedEntries() override;
    // The same at the end of a run: waits for the lock whatever happened before, and keeps what
    // still cannot go in in the pending file. False only when entries were lost.
    bool writeQueuedEntriesAtEnd();
    // Creates the file, or empties an existing one, holding just the header of `style`.
    bool CreateLogFile(HeaderStyle style);
    // "Open Log": creates a missing file with the host header, then opens it in a text editor.
    bool OpenLog();

    const QString& fileName() const { return fileName_; }

private:
    int lockWaitMs() const;
    bool lock(LogFile& file, int waitMs);
    bool writeQueued(int waitMs);
    bool keepQueuedForLater();
    bool writeHeaderOnly(LogFile& file, HeaderStyle style);
    bool insertQueued(LogFile& file, HeaderStyle style, const QByteArray& olderEntries);
    QByteArray headerLine(HeaderStyle style) const;
    QByteArray stampedLine(const QByteArray& prefix, const QString& suffix) const;

    Platform& platform_;
    QString fileName_;
    QString pendingFileName_;
    QByteArrayList queued_; // entry lines not yet in the file, newest first
    // The style of the oldest queued entry: that entry would have created a missing file.
    HeaderStyle queuedStyle_ = HeaderStyle::HostHeader;
    QElapsedTimer busySince_; // valid while another writer keeps the lock too long
};
